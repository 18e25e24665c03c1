#pragma once

#include <array>
#include <iosfwd>
#include <string>
#include <vector>

// The undistorter of the OpenCV undistortion script:
//   undistort <image> fx fy cx cy R1 R2 T1 T2 R3
// keeps the original as <image folder>/uncalibrated/<name> and puts the
// undistorted image (same size, same camera matrix, OpenCV's distortion
// model with k1 = R1, k2 = R2, p1 = T1, p2 = T2, k3 = R3) in its place.
class ImageUndistorter
{
public:
    struct Calibration {
        double fx = 0, fy = 0, cx = 0, cy = 0;
        std::array<double, 5> distortion{}; // k1, k2, p1, p2, k3
    };

    // False with a reason; an image whose uncalibrated copy already exists
    // is refused, as undistorting it twice would bend it the other way.
    static bool undistort(const std::string& imagePath, const Calibration& calibration, std::string* error);

    static int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
};
