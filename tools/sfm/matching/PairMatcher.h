#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "FeatureSet.h"

// Matches the features of two images: approximate nearest neighbours
// (FLANN kd-trees on RootSIFT descriptors) in both directions with Lowe's
// ratio test, mutual best matches only, then geometric verification by
// RANSAC on the fundamental matrix.
class PairMatcher
{
public:
    struct Settings {
        float ratio = 0.8f;
        int minInliers = 16;
        // FLANN leaves visited per query. On a synthetic 40-photo survey 32
        // verifies the same 558 pairs as 64 with 98.6% of the inliers; on
        // its first 10 photos 99.8% of them at 0.6 of the processor time
        // (16: 98.3% at 0.3).
        int checks = 32;
        // Features of a photo that take part in matching (0: all): the first
        // ones of its file, which the detector writes strongest first
        // (coarsest octave first, by response within it), as COLMAP keeps its
        // largest-scale features. Matches keep the features' file indices.
        int maxFeatures = 20000;
        // Epipolar distance in pixels; 0: 0.14% of the larger image side (4 px for
        // 3000 px photos, room for lens distortion), at least 1 px. On the
        // 60-photo survey of 4000 x 3000, 4 px rather than 5.6 gave camera
        // centres 0.86 mm rather than 0.84 mm from the truth: no better.
        double threshold = 0;
    };

    // An image's features made ready for matching, once per image.
    class Prepared;
    // maxFeatures: as in Settings (0: all).
    static std::shared_ptr<const Prepared> prepare(const FeatureSet& features, int maxFeatures = 0);
    // Bytes a prepared image of this many features holds (descriptors and index).
    static std::uint64_t preparedBytes(size_t features);

    struct Result {
        int putative = 0; // mutual ratio-test matches
        std::vector<std::pair<int, int>> inliers;
        std::string note; // why a pair was not verified
    };

    PairMatcher();
    explicit PairMatcher(Settings settings);

    // Safe to call from several threads on the same prepared images.
    Result match(const Prepared& a, const Prepared& b) const;

private:
    Settings m_settings;
};
