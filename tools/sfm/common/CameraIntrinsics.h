#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "BundlerFile.h"

// The inner camera of each photo of a reconstruction, as the dense tools need
// it and Bundler's file cannot say it: both focal lengths, the principal
// point and the radial distortion, for a photo of the given size.
//
// Pixel frame: the origin at the centre of the top-left pixel, x right, y
// down (the frame our feature detector writes keypoints in). An ideal point
// (x, y) = (X / Z, Y / Z) of the camera frame (looking down +z, y down) lies
// at x' = x r, y' = y r with r = 1 + k1 (x^2 + y^2) + k2 (x^2 + y^2)^2, and
// shows at the pixel (cx + fx x', cy + fy y'), as in COLMAP's models.
//
// The file (the "-intrinsics.txt" companion of a Bundler file) holds a
// header line, the camera count, then per camera of the Bundler file
// "width height fx fy cx cy k1 k2 image", the image name last (it may hold
// blanks). Numbers in the C locale with round-trip digits.
class CameraIntrinsics
{
public:
    struct Camera {
        int width = 0;
        int height = 0;
        double fx = 0, fy = 0, cx = 0, cy = 0;
        double k1 = 0, k2 = 0;
        std::string image;

        bool hasDistortion() const { return k1 != 0 || k2 != 0; }
        // Why the dense tools and the NVM cannot use this camera, empty when
        // they can: a size of 1 to 1000000 pixels each way, positive focal
        // lengths, the principal point no farther from the photo than its
        // own size, and a distortion the NVM's one radial term can express.
        std::string problem() const;
        // Pixel of an ideal point (x, y) = (X / Z, Y / Z).
        void pixelOf(double x, double y, double& u, double& v) const;
        // The ideal point whose pixel is (u, v); false where the distortion
        // cannot be inverted (far outside the photo).
        bool idealOf(double u, double v, double& x, double& y) const;
    };

    std::vector<Camera> cameras;

    // A Bundler camera of a photo of the given size: one focal length, the
    // principal point at the photo's centre ((w - 1) / 2 in the pixel frame,
    // where Bundler's centre-origin coordinates put it).
    static Camera ofBundler(const BundlerFile::Camera& camera, int width, int height);

    // "<bundle path without .out>-intrinsics.txt".
    static std::string pathFor(const std::string& bundlePath);

    // False with the line number on a malformed file.
    bool read(std::istream& in, std::string* error = nullptr);
    bool readFile(const std::string& path, std::string* error = nullptr);
    void write(std::ostream& out) const;
    bool writeFile(const std::string& path, std::string* error = nullptr) const;
};
