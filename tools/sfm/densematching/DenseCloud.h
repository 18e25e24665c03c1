#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The matcher's result: coloured points with normals, written as ASCII PLY
// in the layout the workbench's fixed-layout reader expects (17 header
// lines: x y z nx ny nz red green blue alpha, an empty face element).
class DenseCloud
{
public:
    struct Point {
        std::array<double, 3> position{};
        std::array<float, 3> normal{};
        std::array<std::uint8_t, 3> colour{};
        int views = 0; // views that agree on the point
    };

    std::vector<Point> points;

    // comment: one line of text for the header's comment line.
    std::string plyText(const std::string& comment) const;
    // Each file through a temporary file renamed into place.
    bool writePly(const std::vector<std::string>& paths, const std::string& comment,
                  std::string* error = nullptr) const;
};
