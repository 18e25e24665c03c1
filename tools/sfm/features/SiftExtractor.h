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
    // The same for a photo whose header was read; decoded is false when the
    // photo could not be decoded (rather than giving no features).
    //
    // Features are kept coarsest octave first, and OpenCV doubles the image
    // it detects on: on a photo rich enough, the doubled octave and the next
    // give only features the limit leaves out, and cost nearly all the time.
    // So the photo is first taken at half the detection size, where every
    // octave but the doubled one is one we would keep from; when those give
    // maxFeatures, the features are the ones the full size would keep.
    // Otherwise, or with no limit, detection runs at the full size.
    bool extract(const std::string& imagePath, const PhotoDecoder::Header& header, FeatureSet& features,
                 bool* decoded, std::string* error = nullptr) const;
    // Features of a decoded photo (see PhotoDecoder), in the photo's pixels.
    bool extract(const PhotoDecoder::Reduced& photo, FeatureSet& features, std::string* error = nullptr) const;

    const Settings& settings() const { return m_settings; }

private:
    // With coarseEnough, false and *enough false when the octaves above the
    // doubled one give fewer than maxFeatures.
    bool extract(const PhotoDecoder::Reduced& photo, FeatureSet& features, std::string* error,
                 bool* coarseEnough) const;

    Settings m_settings;
};
