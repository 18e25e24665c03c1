#pragma once

#include <array>

// Rotations as the reconstruction files keep them: a quaternion (w, x, y, z),
// as NVM and COLMAP write it, and the row-major 3x3 matrix the cameras use
// (for a camera, world into camera axes). The one place where one becomes
// the other, for the workbench and the tools alike.
class Rotation
{
public:
    using Quaternion = std::array<double, 4>; // w, x, y, z
    using Matrix = std::array<double, 9>;     // row-major

    // The rotation of q, normalised first: files carry quaternions a few
    // units in the last place off unit length, or scaled as a whole. A
    // quaternion of no length (or not finite) gives the identity.
    static Matrix matrixOf(const Quaternion& q);

    // The unit quaternion of a rotation matrix, with w >= 0 (Shepperd's
    // method: the largest of the four candidates is divided by, so no
    // rotation, 180 degrees included, loses its precision).
    static Quaternion quaternionOf(const Matrix& rotation);

    // The rotation that best turns one set of points onto another, both
    // about their centroids, in the least-squares sense (Horn's closed form
    // with unit quaternions), from their correlation: correlation[3 j + k] =
    // sum over the pairs of from_j to_k. The similarity fits of the
    // georeference and of the tools' comparisons rest on it.
    static Matrix bestFit(const Matrix& correlation);
};
