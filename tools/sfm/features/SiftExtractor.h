#pragma once

#include <string>

#include "FeatureSet.h"
#include "PhotoDecoder.h"

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
        // Detection runs on the photo brought down to this longest side (0:
        // full size), which bounds its memory whatever the camera; keypoints
        // are given in the photo's own pixels.
        int maxImageSide = 3200;
    };

    SiftExtractor();
    explicit SiftExtractor(Settings settings);

    // False with a reason when the image cannot be read.
    bool extract(const std::string& imagePath, FeatureSet& features, std::string* error = nullptr) const;
    // Features of a decoded photo (see PhotoDecoder), in the photo's pixels.
    bool extract(const PhotoDecoder::Reduced& photo, FeatureSet& features, std::string* error = nullptr) const;

    const Settings& settings() const { return m_settings; }

private:
    Settings m_settings;
};
