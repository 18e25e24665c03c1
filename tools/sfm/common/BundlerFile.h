#pragma once

#include <array>
#include <iosfwd>
#include <string>
#include <vector>

// A reconstruction in Bundler's v0.3 text format ("# Bundle file v0.3"), as
// Bundler writes bundle.out and as the dense tools read it.
//
// Camera model: a world point X goes to P = R X + t; the camera looks down
// its -z axis, so p = -P.xy / P.z; the radial factor r = 1 + k1 |p|^2 +
// k2 |p|^4 gives image coordinates f r p, measured from the image centre with
// y pointing up (pixel column = x + (w - 1)/2, pixel row = (h - 1)/2 - y,
// with pixel centres at whole numbers as our keypoints have them).
class BundlerFile
{
public:
    struct Camera {
        double focal = 0;
        double k1 = 0;
        double k2 = 0;
        std::array<double, 9> rotation{}; // row-major
        std::array<double, 3> translation{};

        // Bundler marks cameras it could not place with an all-zero row.
        bool registered() const { return focal != 0; }
        // The camera centre in world coordinates: -R^T t.
        std::array<double, 3> centre() const;
        // Image coordinates (centre origin, y up) of a world point; false when
        // the point lies behind the camera.
        bool project(const std::array<double, 3>& world, double& x, double& y) const;
    };

    struct View {
        int camera = 0;
        int key = 0;
        double x = 0; // centre origin, y up
        double y = 0;
    };

    struct Point {
        std::array<double, 3> position{};
        std::array<int, 3> colour{};
        std::vector<View> views;
    };

    std::vector<Camera> cameras;
    std::vector<Point> points;

    // False with a one-line reason (naming the line) on a malformed file.
    bool read(std::istream& in, std::string* error = nullptr);
    bool readFile(const std::string& path, std::string* error = nullptr);
    // Writes with 17 significant digits, so every value reads back the same.
    void write(std::ostream& out) const;
    // Through a temporary file renamed into place.
    bool writeFile(const std::string& path, std::string* error = nullptr) const;
};
