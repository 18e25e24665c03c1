#pragma once

#include <cmath>

// A photo size's calibration as the report sets it against the EXIF's:
// focal length and principal point in pixels (the principal point from the
// photo's top-left corner), COLMAP's radial terms k1, k2 (projection side,
// d = u (1 + k1 |u|² + k2 |u|⁴) on coordinates over the focal length).
struct CameraCalibration {
    int width = 0, height = 0; // the photos', pixels
    double focal = std::nan("");
    double cx = std::nan(""), cy = std::nan("");
    double k1 = std::nan(""), k2 = std::nan("");
    int photos = 0; // how many registered photos share it

    bool known() const { return std::isfinite(focal); }
};
