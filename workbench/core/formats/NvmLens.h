#pragma once

#include <QByteArray>

#include <string>
#include <vector>

class SparseBundle;

// The whole inner camera of an NVM file's photos where the NVM cannot hold
// it: "<name>-intrinsics.txt" beside "<name>.nvm", written by the bundle
// adjustment, whose lens has two radial terms and a principal point where
// the NVM keeps one measurement-side term and the photo's centre. The file
// is the dense tools' camera intrinsics format: a header line, the camera
// count, then per camera "width height fx fy cx cy k1 k2 image", pixel
// centres at whole numbers (the top-left pixel's at 0, 0), the image name
// as the NVM gives it. An ideal point (x, y) shows at
// (cx + fx x r, cy + fy y r), r = 1 + k1 (x² + y²) + k2 (x² + y²)².
// Numbers in the C locale with round-trip digits.
class NvmLens
{
public:
    struct Camera {
        int width = 0, height = 0;
        double fx = 0, fy = 0, cx = 0, cy = 0, k1 = 0, k2 = 0;
        std::string image;
    };

    // "<nvm path without .nvm>-intrinsics.txt".
    static std::string pathFor(const std::string& nvmPath);

    // False with the line on a malformed file.
    static bool read(const char* begin, const char* end, std::vector<Camera>& cameras, std::string* error);
    static QByteArray text(const std::vector<Camera>& cameras);

    // Gives the cameras of bundle (read from nvmPath) the lens its companion
    // names for their images. True with message empty when there is no
    // companion; true with a note when it was applied; false with why when
    // it is damaged or describes other photos, the cameras keep the NVM's
    // own term then.
    static bool apply(const std::string& nvmPath, SparseBundle& bundle, std::string* message);
};
