#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "BundlerFile.h"
#include "common/formats/NvmFile.h"

// A COLMAP reconstruction in its text form (cameras.txt, images.txt,
// points3D.txt, as `colmap model_converter --output_type TXT` writes it),
// and its conversion into the files our tool chain hands on.
//
// COLMAP's camera: P = R X + t looks down +z with y down; pixel coordinates
// have their origin at the top-left corner of the image.
class ColmapModel
{
public:
    struct Camera {
        std::string model;
        int width = 0;
        int height = 0;
        double fx = 0, fy = 0, cx = 0, cy = 0;
        double k1 = 0, k2 = 0;
    };

    struct Observation {
        double x = 0;
        double y = 0;
        long long point = -1; // -1: not triangulated
    };

    struct Image {
        int id = 0;
        int camera = 0;
        std::string name;
        std::array<double, 4> quaternion{1, 0, 0, 0}; // w, x, y, z
        std::array<double, 3> translation{};
        std::vector<Observation> observations; // index = feature index

        std::array<double, 3> centre() const;
    };

    struct TrackElement {
        int image = 0;
        int feature = 0;
    };

    struct Point {
        std::array<double, 3> position{};
        std::array<int, 3> colour{};
        double error = 0;
        std::vector<TrackElement> track;
    };

    std::map<int, Camera> cameras;
    std::map<int, Image> images; // the registered images
    std::map<long long, Point> points;

    // Reads the three files of folder; false with the file and line on damage
    // or on a camera our files cannot express. Every number is read whole
    // and exactly; cameras must pass CameraIntrinsics::Camera::problem(),
    // quaternions must have a length, image names run to the end of their
    // line (they may hold blanks).
    bool readFolder(const std::string& folder, std::string* error = nullptr);
    // The same on the three texts; the reason names "cameras.txt",
    // "images.txt" or "points3D.txt" and the line.
    bool read(std::istream& cameras, std::istream& images, std::istream& points,
              std::string* error = nullptr);

    // Mean of the points' reprojection errors, as COLMAP reports it.
    double meanReprojectionError() const;
    size_t observationCount() const;

    // NVM model of the registered images; cameraName gives each image's name
    // in the NVM (relative to its folder) from COLMAP's image name.
    NvmFile::Model toNvm(const std::function<std::string(const std::string&)>& cameraName) const;

    // Bundler file with one camera per entry of images (COLMAP image names),
    // in that order; images the model did not register get Bundler's all-zero
    // camera. Points seen by none of the listed images are left out.
    BundlerFile toBundler(const std::vector<std::string>& imageOrder) const;
};
