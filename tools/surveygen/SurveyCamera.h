#pragma once

#include <string>

// One photo of a synthetic survey: a pinhole camera in the site's local frame
// (metres east, north, up of the site's corner). Pixel coordinates run right
// and down from the top-left corner of the top-left pixel, whose centre is
// (0.5, 0.5). The rotation maps local axes to camera axes (x right, y down,
// z forward): x_cam = R (X - C). The lens may bend the rays radially as
// COLMAP's RADIAL model (the one the mapper fits): a point at (u, v) = (x, y) / z
// lands at (u, v) (1 + k1 r^2 + k2 r^4), r^2 = u^2 + v^2, before fx, fy, cx, cy.
class SurveyCamera
{
public:
    std::string name;
    int width = 0, height = 0;
    double fx = 0, fy = 0, cx = 0, cy = 0;
    double centre[3] = {0, 0, 0};
    double rotation[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    double k1 = 0, k2 = 0;

    // A camera at centre looking along forward (need not be unit) with the
    // image's x axis as close to right as the forward direction allows.
    void lookAlong(const double forward[3], const double right[3]);
    // Pixel of a local point, where the lens puts it; false when it lies behind the camera.
    bool project(const double point[3], double* x, double* y) const;
    // Unit direction in the local frame of the ray through a pixel.
    void ray(double x, double y, double direction[3]) const;

    // A pinhole pixel moved where the lens puts it, and back.
    void distort(double* x, double* y) const;
    void undistort(double* x, double* y) const;
    // Whether the lens keeps every pixel of the photo in order (the
    // distortion grows monotonically out to the photo's corners).
    bool lensIsMonotonic() const;
};
