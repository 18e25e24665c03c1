#pragma once

#include <array>
#include <iosfwd>
#include <string>

#include "BundlerFile.h"
#include "CameraIntrinsics.h"

// One view of the dense matcher: a 3x4 projection matrix in pixel
// coordinates (origin at the centre of the top-left pixel, y down), as the
// PMVS "CONTOUR" files hold it, with the image size it belongs to.
//
// The matrix is kept normalised: the third row of its left 3x3 block has unit
// length and that block has a positive determinant, so the third projected
// coordinate of a world point is its depth along the viewing axis, positive
// in front of the camera.
class MvsCamera
{
public:
    using Vec3 = std::array<double, 3>;
    using Matrix34 = std::array<double, 12>; // row-major
    using Matrix33 = std::array<double, 9>;  // row-major

    MvsCamera() = default;
    // False when the left 3x3 block is singular.
    bool setProjection(const Matrix34& projection);

    // The camera of a Bundler file's pose with the given inner camera (its
    // size, focal lengths and principal point); distortion is not part of the
    // matrix (undistorted images carry none). False when the matrix is
    // singular (a damaged pose), out left as it was.
    static bool fromBundler(const BundlerFile::Camera& pose, const CameraIntrinsics::Camera& lens,
                            MvsCamera& out);

    // "CONTOUR" followed by the three rows of the matrix.
    bool readContour(std::istream& in, std::string* error = nullptr);
    bool readContourFile(const std::string& path, std::string* error = nullptr);
    std::string contourText() const;

    // The same camera for images reduced level times by two (pixel centres
    // stay pixel centres). width and height become those of the reduced image.
    MvsCamera atLevel(int level) const;

    // Pixel coordinates and depth of a world point; false behind the camera.
    bool project(const Vec3& world, double& u, double& v, double& depth) const;
    // The world point at the given depth on the ray through pixel (u, v).
    Vec3 backProject(double u, double v, double depth) const;
    const Vec3& centre() const { return m_centre; }
    // Unit viewing direction through pixel (u, v).
    Vec3 ray(double u, double v) const;

    const Matrix34& projection() const { return m_projection; }
    // The left 3x3 block and its inverse.
    const Matrix33& block() const { return m_block; }
    const Matrix33& inverseBlock() const { return m_inverse; }

    int width = 0;
    int height = 0;

private:
    Matrix34 m_projection{};
    Matrix33 m_block{};
    Matrix33 m_inverse{};
    Vec3 m_centre{};
};
