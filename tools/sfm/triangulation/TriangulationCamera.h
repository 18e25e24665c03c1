#pragma once

#include <array>

#include "BundlerFile.h"

// One calibrated photograph as the triangulation sees it, in the usual
// computer-vision convention: a world point X lies at R X + t in camera
// coordinates, the camera looks down +z, image rows grow downwards. Bundler's
// cameras (looking down -z, y up) are turned into it on construction.
class TriangulationCamera
{
public:
    enum class Distortion {
        // Bundler: distorted = p (1 + k1 |p|^2 + k2 |p|^4) for the ideal
        // normalised point p, so removing it needs an iterative inverse.
        Bundler,
        // VisualSfM's NVM: the measurement m (normalised) is corrected
        // directly, undistorted = m (1 + k1 |m|^2).
        Nvm,
    };

    double focal = 0;
    double k1 = 0;
    double k2 = 0;
    Distortion distortion = Distortion::Bundler;
    std::array<double, 9> rotation{1, 0, 0, 0, 1, 0, 0, 0, 1}; // row-major, world to camera
    std::array<double, 3> translation{};
    // The pixel the measurements are taken from: Bundler's ((w-1)/2, (h-1)/2),
    // VisualSfM's (w/2, h/2).
    double principalColumn = 0;
    double principalRow = 0;

    // A Bundler camera for an image of width x height pixels.
    static TriangulationCamera fromBundler(const BundlerFile::Camera& camera, int width, int height);
    // An NVM camera: focal length, rotation quaternion (w, x, y, z), camera
    // centre and the measurement distortion of the file.
    static TriangulationCamera fromNvm(double focal, const std::array<double, 4>& wxyz,
                                       const std::array<double, 3>& centre, double radial, int width,
                                       int height);

    // The ideal normalised image point (x / z, y / z in camera coordinates)
    // of a pixel (column, row counted from the top-left corner), with the
    // radial distortion removed.
    std::array<double, 2> undistortedPoint(double column, double row) const;

    // The 3 x 4 matrix [R | t].
    std::array<double, 12> pose() const;
    // Depth of a world point along the viewing direction (positive in front).
    double depth(const std::array<double, 3>& world) const;
};
