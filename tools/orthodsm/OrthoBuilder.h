#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "DsmBuilder.h"
#include "OrthoPhoto.h"
#include "RasterGrid.h"

class GeoTiffFile;

// The orthophoto, tile by tile: each cell's ground point is the elevation
// model's height under its centre; the photos that see it (inside the frame
// and not hidden behind the surface on the way to the camera) are ranked by
// how far off nadir they look and blended with weights that fall steeply off
// nadir and fade out towards each photo's frame, so the passage from one photo
// to the next leaves no step.
class OrthoBuilder
{
public:
    struct Settings {
        int tile = 512;
        int threads = 0;
        size_t cacheBytes = size_t(1) << 30;
        double blendDegrees = 1.5; // a photo's weight falls by e for each this much further off nadir
        double borderPixels = 48;  // a photo fades out over this many pixels towards its frame
        const std::atomic<bool>* stop = nullptr;
        std::function<void(int done, int total)> progress;
    };

    struct Result {
        long long cells = 0;    // cells with colour
        long long occluded = 0; // cells where a better photo was hidden behind the surface
    };

    // dsmPath: the written elevation model on dsmGrid; dsm: what building it
    // found (block maxima for the occlusion test, the height range).
    static bool build(const std::vector<OrthoPhoto>& photos, const std::string& dsmPath,
                      const RasterGrid& dsmGrid, const DsmBuilder::Result& dsm, const RasterGrid& grid,
                      const Settings& settings, GeoTiffFile& out, Result& result, std::string& error);
};
