#pragma once

#include <string>

#include "FeatureSet.h"

// SIFT keypoints and descriptors of one image with OpenCV, in the layout our
// feature files keep.
class SiftExtractor
{
public:
    struct Settings {
        int maxFeatures = 8000;
        // Per-layer contrast threshold times the layer count, as OpenCV takes
        // it; half OpenCV's default, close to COLMAP's peak threshold, so small
        // photos still give a few thousand features.
        double contrastThreshold = 0.02;
        double edgeThreshold = 10;
    };

    SiftExtractor();
    explicit SiftExtractor(Settings settings);

    // False with a reason when the image cannot be read.
    bool extract(const std::string& imagePath, FeatureSet& features, std::string* error = nullptr) const;

private:
    Settings m_settings;
};
