#pragma once

#include <string>
#include <utility>
#include <vector>

// Which listed pairs are worth verifying, so that matching grows with the
// photo count rather than its square. Each photo keeps its best-placed
// partners among those it is listed with; a pair is verified when either
// photo keeps it. When every photo's EXIF and XMP (the XML beside it) say
// where it looked from (GPS, height above the take-off point, gimbal pitch
// and yaw, as drones write them), the best are those whose ground
// footprints share the most, and pairs whose footprints barely meet are
// not verified at all; with GPS alone the nearest by position; otherwise,
// or when the positions do not tell the photos apart, image retrieval over
// the set's own features:
// a small visual vocabulary from a sample of them, each photo a weighted
// word histogram, scored through an inverted file. Deterministic: the same
// photos and pairs give the same choice whatever the threads.
class PairSelection
{
public:
    struct Settings {
        int perPhoto = 24;
        // Features of a photo its histogram is made of (the feature files
        // keep the coarsest first, which carry over between views best).
        int wordsPerPhoto = 2000;
        // Footprints that share less than this share of the smaller one are
        // not worth verifying; a photo left with fewer than minPartners such
        // pairs keeps its nearest by GPS besides, in case its angles lie.
        double minFootprintOverlap = 0.1;
        int minPartners = 3;
    };

    struct Choice {
        std::vector<bool> verify; // per pair
        std::string how;          // one line for the log
    };

    // keybPaths: each photo's feature file; pairs: indices into them.
    // A photo whose features cannot be read keeps all its pairs.
    static Choice choose(const std::vector<std::string>& keybPaths, const std::vector<std::pair<int, int>>& pairs,
                         const Settings& settings, int threads);

    // Each photo's best `perPhoto` partners by score (higher is better; ties
    // by index), a pair kept when either side keeps it.
    static std::vector<bool> keepBest(size_t photos, const std::vector<std::pair<int, int>>& pairs,
                                      const std::vector<double>& scores, int perPhoto);
};
