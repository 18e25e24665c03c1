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
        // On a 60-photo survey of 4000 x 3000 photos, 20000 put the camera
        // centres 0.66 mm from the truth (RMS), 13000 0.84 mm and 8000
        // 1.11 mm; COLMAP's own run 0.74 mm. The sparse run took 1.5 times
        // as long as with 13000, still under a quarter of COLMAP's.
        int maxFeatures = 20000;
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
    // it detects on: at the full detection size, the doubled octave costs
    // most of the time and memory and gives only features the limit leaves
    // out. So the photo is first taken at half the detection size: its
    // octaves above the doubled one are the full size's coarse octaves, and
    // its doubled octave stands in for the full size's first (the finest
    // features kept, found on the photo at the detection size's pixel
    // spacing). When those give maxFeatures they are kept. Otherwise, or
    // with no limit, detection runs at the full size.
    bool extract(const std::string& imagePath, const PhotoDecoder::Header& header, FeatureSet& features,
                 bool* decoded, std::string* error = nullptr) const;
    // Features of a decoded photo (see PhotoDecoder), in the photo's pixels.
    bool extract(const PhotoDecoder::Reduced& photo, FeatureSet& features, std::string* error = nullptr) const;

    const Settings& settings() const { return m_settings; }

private:
    // With coarseEnough, false and *enough false when the photo gives fewer
    // than maxFeatures.
    bool extract(const PhotoDecoder::Reduced& photo, FeatureSet& features, std::string* error,
                 bool* coarseEnough) const;

    Settings m_settings;
};
