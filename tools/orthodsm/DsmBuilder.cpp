#include "DsmBuilder.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "GeoTiffFile.h"
#include "ParallelFor.h"

namespace
{

struct Buckets {
    std::vector<DsmBuilder::Point> points; // sorted by tile
    std::vector<size_t> start;             // per tile, one past the end at [tiles]
    int across = 0, down = 0;
};

void bucket(std::vector<DsmBuilder::Point>& points, const RasterGrid& grid, int tile, Buckets& b)
{
    b.across = grid.tilesAcross(tile);
    b.down = grid.tilesDown(tile);
    const size_t tiles = size_t(b.across) * size_t(b.down);
    auto tileOf = [&](const DsmBuilder::Point& p) {
        const int tx = std::clamp(int(p.x / grid.cell) / tile, 0, b.across - 1);
        const int ty = std::clamp(int(p.y / grid.cell) / tile, 0, b.down - 1);
        return size_t(ty) * size_t(b.across) + size_t(tx);
    };
    b.start.assign(tiles + 1, 0);
    for (const auto& p : points)
        ++b.start[tileOf(p) + 1];
    for (size_t t = 0; t < tiles; ++t)
        b.start[t + 1] += b.start[t];
    std::vector<size_t> next(b.start.begin(), b.start.end() - 1);
    b.points.resize(points.size());
    for (const auto& p : points)
        b.points[next[tileOf(p)]++] = p;
    std::vector<DsmBuilder::Point>().swap(points);
}

// One tile's work: the cells of the tile widened by a halo on every side.
class TileHeights
{
public:
    TileHeights(const Buckets& b, const RasterGrid& grid, int tile, int tx, int ty, int halo)
        : m_x0(tx * tile - halo), m_y0(ty * tile - halo), m_w(tile + 2 * halo), m_h(tile + 2 * halo)
    {
        std::vector<size_t> count(size_t(m_w) * size_t(m_h) + 1, 0);
        auto cellOf = [&](const DsmBuilder::Point& p, size_t& c) {
            const int x = int(std::floor(p.x / grid.cell)) - m_x0,
                      y = int(std::floor(p.y / grid.cell)) - m_y0;
            if (x < 0 || y < 0 || x >= m_w || y >= m_h)
                return false;
            c = size_t(y) * size_t(m_w) + size_t(x);
            return true;
        };
        const int reach = (halo + tile - 1) / tile;
        for (int pass = 0; pass < 2; ++pass) {
            for (int j = std::max(0, ty - reach); j <= std::min(b.down - 1, ty + reach); ++j)
                for (int i = std::max(0, tx - reach); i <= std::min(b.across - 1, tx + reach); ++i) {
                    const size_t t = size_t(j) * size_t(b.across) + size_t(i);
                    for (size_t k = b.start[t]; k < b.start[t + 1]; ++k) {
                        size_t c;
                        if (!cellOf(b.points[k], c))
                            continue;
                        if (pass == 0)
                            ++count[c + 1];
                        else
                            m_z[m_next[c]++] = b.points[k].z;
                    }
                }
            if (pass == 0) {
                for (size_t c = 1; c < count.size(); ++c)
                    count[c] += count[c - 1];
                m_start = count;
                m_next.assign(count.begin(), count.end() - 1);
                m_z.resize(count.back());
            }
        }
    }

    // The robust highest point of every cell inside the outer ring; noData where none.
    std::vector<float> robustHighest() const
    {
        std::vector<float> out(size_t(m_w) * size_t(m_h), DsmBuilder::noData);
        std::vector<float> around, deviation, kept;
        for (int y = 1; y + 1 < m_h; ++y)
            for (int x = 1; x + 1 < m_w; ++x) {
                const size_t c = size_t(y) * size_t(m_w) + size_t(x);
                if (m_start[c] == m_start[c + 1])
                    continue;
                around.clear();
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        const size_t n = size_t(y + dy) * size_t(m_w) + size_t(x + dx);
                        around.insert(around.end(), m_z.begin() + long(m_start[n]),
                                      m_z.begin() + long(m_start[n + 1]));
                    }
                auto middle = around.begin() + long(around.size() / 2);
                std::nth_element(around.begin(), middle, around.end());
                const float median = *middle;
                deviation.resize(around.size());
                for (size_t k = 0; k < around.size(); ++k)
                    deviation[k] = std::abs(around[k] - median);
                auto mid = deviation.begin() + long(deviation.size() / 2);
                std::nth_element(deviation.begin(), mid, deviation.end());
                const float limit = std::max(3 * 1.4826f * *mid, 0.3f);
                kept.clear();
                for (size_t k = m_start[c]; k < m_start[c + 1]; ++k)
                    if (std::abs(m_z[k] - median) <= limit)
                        kept.push_back(m_z[k]);
                if (kept.empty())
                    continue;
                auto rank = kept.begin() + long((kept.size() * 9) / 10);
                std::nth_element(kept.begin(), rank, kept.end());
                out[c] = *rank;
            }
        return out;
    }

    int width() const { return m_w; }
    int height() const { return m_h; }

private:
    int m_x0, m_y0, m_w, m_h;
    std::vector<size_t> m_start, m_next;
    std::vector<float> m_z;
};

// Fills an empty cell from the first cells with a height in eight directions,
// weighted by inverse squared distance, when the cell lies between rims in at
// least two of the four axes (so a long thin gap fills, while a cell outside
// the cloud's edge, which finds heights only on one side, stays empty); false
// otherwise, or when the rims lie beyond reach (the hole is too wide).
bool fillFromRim(const std::vector<float>& h, int w, int rows, int x, int y, int reach, float& value)
{
    static const int dirs[8][2] = {{1, 0}, {1, 1}, {0, 1}, {-1, 1}, {-1, 0}, {-1, -1}, {0, -1}, {1, -1}};
    double sum = 0, weights = 0;
    bool found[8] = {};
    for (int k = 0; k < 8; ++k) {
        const auto& d = dirs[k];
        for (int s = 1; s <= reach && !found[k]; ++s) {
            const int u = x + d[0] * s, v = y + d[1] * s;
            if (u < 0 || v < 0 || u >= w || v >= rows)
                break;
            const float z = h[size_t(v) * size_t(w) + size_t(u)];
            if (z != DsmBuilder::noData) {
                const double weight = 1.0 / (double(s * s) * (d[0] && d[1] ? 2 : 1));
                sum += weight * z;
                weights += weight;
                found[k] = true;
            }
        }
    }
    int axes = 0;
    for (int k = 0; k < 4; ++k)
        axes += found[k] && found[k + 4];
    if (axes < 2)
        return false;
    value = float(sum / weights);
    return true;
}

} // namespace

bool DsmBuilder::build(std::vector<Point>& points, const RasterGrid& grid, double zOrigin,
                       const Settings& settings, GeoTiffFile& out, Result& result, std::string& error)
{
    const int tile = settings.tile;
    const int reach = std::clamp(settings.maxHoleCells, 1, tile / 2);
    const int halo = reach + 1;
    Buckets buckets;
    bucket(points, grid, tile, buckets);

    result.blocksAcross = (grid.width + block - 1) / block;
    result.blocksDown = (grid.height + block - 1) / block;
    result.blockMax.assign(size_t(result.blocksAcross) * size_t(result.blocksDown), noData);
    const int tiles = buckets.across * buckets.down;
    std::mutex mutex;
    std::atomic<int> done{0};
    std::atomic<bool> failed{false};
    ParallelFor::run(size_t(tiles), settings.threads, [&](size_t index) {
        if (failed || (settings.stop && *settings.stop))
            return;
        const int tx = int(index) % buckets.across, ty = int(index) / buckets.across;
        const TileHeights heights(buckets, grid, tile, tx, ty, halo);
        const std::vector<float> raw = heights.robustHighest();
        const int x0 = tx * tile, y0 = ty * tile;
        const int w = std::min(tile, grid.width - x0), h = std::min(tile, grid.height - y0);
        std::vector<float> cells(size_t(w) * size_t(h));
        long long count = 0, filled = 0;
        float low = noData, high = noData;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float z = raw[size_t(y + halo) * size_t(heights.width()) + size_t(x + halo)];
                if (z == noData &&
                    fillFromRim(raw, heights.width(), heights.height(), x + halo, y + halo, reach, z))
                    ++filled;
                if (z != noData) {
                    z = float(z + zOrigin);
                    ++count;
                    low = low == noData ? z : std::min(low, z);
                    high = high == noData ? z : std::max(high, z);
                    float& m = result.blockMax[size_t((y0 + y) / block) * size_t(result.blocksAcross) +
                                               size_t((x0 + x) / block)];
                    m = std::max(m, z); // blocks never straddle tiles: tile is a multiple of block
                }
                cells[size_t(y) * size_t(w) + size_t(x)] = z;
            }
        std::string why;
        if (!out.write(x0, y0, w, h, cells.data(), why)) {
            std::lock_guard<std::mutex> lock(mutex);
            error = why;
            failed = true;
            return;
        }
        std::lock_guard<std::mutex> lock(mutex);
        result.cells += count;
        result.filled += filled;
        if (low != noData) {
            result.low = result.low == noData ? low : std::min(result.low, low);
            result.high = result.high == noData ? high : std::max(result.high, high);
        }
        if (settings.progress)
            settings.progress(++done, tiles);
    });
    if (settings.stop && *settings.stop && error.empty())
        error = "stopped";
    return error.empty();
}
