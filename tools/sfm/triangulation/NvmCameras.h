#pragma once

#include <array>
#include <iosfwd>
#include <string>
#include <vector>

// The cameras of the first model of a VisualSfM NVM file ("NVM_V3"): what
// the triangulation needs when there is no converted Bundler file.
class NvmCameras
{
public:
    struct Camera {
        std::string name; // as written, relative to the NVM file's folder
        double focal = 0;
        std::array<double, 4> rotation{1, 0, 0, 0}; // quaternion w, x, y, z
        std::array<double, 3> centre{};
        double radial = 0;
    };

    std::vector<Camera> cameras;

    // False with a one-line reason (naming the line) on a malformed file.
    bool read(std::istream& in, std::string* error = nullptr);
    bool readFile(const std::string& path, std::string* error = nullptr);
};
