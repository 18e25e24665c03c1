#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The SIFT features of one image as our tools pass them on: keypoints in
// pixel coordinates (origin at the centre of the top-left pixel, y down) and
// one 128-byte descriptor per keypoint, in the same order. A feature's index
// in this list is the index the match files, the NVM and bundle.out name.
class FeatureSet
{
public:
    static constexpr int descriptorSize = 128;

    struct Keypoint {
        float x = 0;
        float y = 0;
        float scale = 0;       // sigma of the detection, in pixels
        float orientation = 0; // radians, counter-clockwise in the image
    };

    std::string imageName; // file name of the image, without folder
    int width = 0;
    int height = 0;
    std::vector<Keypoint> keypoints;
    std::vector<std::uint8_t> descriptors; // keypoints.size() * descriptorSize

    size_t size() const { return keypoints.size(); }
    const std::uint8_t* descriptor(size_t i) const { return descriptors.data() + i * descriptorSize; }
    bool consistent() const { return descriptors.size() == keypoints.size() * descriptorSize; }
};
