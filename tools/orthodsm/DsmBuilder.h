#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "RasterGrid.h"

class GeoTiffFile;

// The elevation model of a dense cloud, tile by tile: each cell the robust
// highest point of the cell (the 90th percentile of its points, after the
// points far from their 3 x 3 cells' median are dropped as outliers), cells
// without points filled from the rim of their hole by inverse distance when
// rims lie within reach on both sides along at least two of the four axes
// (rows, columns, diagonals), and nodata otherwise.
class DsmBuilder
{
public:
    static constexpr float noData = -9999.0f;
    static constexpr int block = 32; // cells per side of the block maxima the occlusion test uses

    struct Point {
        float x, y, z; // metres from the grid's top-left corner (x east, y south) and from zOrigin
    };

    struct Settings {
        int tile = 512;        // a multiple of block
        int maxHoleCells = 64; // widest hole filled; at most tile / 2
        int threads = 0;
        const std::atomic<bool>* stop = nullptr;
        std::function<void(int done, int total)> progress;
    };

    struct Result {
        std::vector<float>
            blockMax; // per block of block x block cells (absolute heights), noData where empty
        int blocksAcross = 0, blocksDown = 0;
        long long cells = 0, filled = 0;   // cells with a height; of those, filled from a rim
        float low = noData, high = noData; // lowest and highest cell (absolute heights)
    };

    // points are consumed (bucketed per tile in place of the input).
    static bool build(std::vector<Point>& points, const RasterGrid& grid, double zOrigin,
                      const Settings& settings, GeoTiffFile& out, Result& result, std::string& error);
};
