#include "OrthoBuilder.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>

#include <opencv2/core.hpp>

#include "DsmSampler.h"
#include "GeoTiffFile.h"
#include "ParallelFor.h"
#include "PhotoCache.h"

namespace
{

// The photos whose frame may hold some part of a tile: the tile's corners at
// the lowest and highest surface height, projected, span a box that meets the
// frame.
std::vector<int> photosOverTile(const std::vector<OrthoPhoto>& photos, const RasterGrid& grid, int x0, int y0,
                                int w, int h, double low, double high)
{
    std::vector<int> out;
    for (size_t i = 0; i < photos.size(); ++i) {
        const OrthoPhoto& p = photos[i];
        double minX = std::numeric_limits<double>::max(), minY = minX, maxX = -minX, maxY = -minX;
        bool behind = false;
        for (int c = 0; c < 8 && !behind; ++c) {
            const double point[3] = {grid.x(x0 + ((c & 1) ? w : 0)), grid.y(y0 + ((c & 2) ? h : 0)),
                                     (c & 4) ? high : low};
            double px, py;
            if (!p.project(point, px, py)) {
                behind = true;
                break;
            }
            minX = std::min(minX, px);
            maxX = std::max(maxX, px);
            minY = std::min(minY, py);
            maxY = std::max(maxY, py);
        }
        // A tile partly behind the camera is seen so obliquely that nothing of it is used.
        if (!behind && maxX > 0 && maxY > 0 && minX < p.width && minY < p.height)
            out.push_back(int(i));
    }
    return out;
}

// Whether the surface hides the ground point from the camera: march along
// the ray towards the camera over the elevation model, passing over blocks
// whose highest cell lies below the ray, until the ray rises above the
// highest surface or leaves the model.
class Occlusion
{
public:
    Occlusion(DsmSampler& sampler, const RasterGrid& grid, const DsmBuilder::Result& dsm)
        : m_sampler(sampler), m_grid(grid), m_dsm(dsm), m_tolerance(0.05 + 0.75 * grid.cell)
    {
    }

    bool hidden(const double ground[3], const double camera[3])
    {
        const double dx = camera[0] - ground[0], dy = camera[1] - ground[1], dz = camera[2] - ground[2];
        const double length = std::hypot(dx, dy);
        if (length < 1e-9 || !(dz > 0))
            return false;
        const double rise = dz / length; // metres up per metre across
        const double end = std::min(length, (m_dsm.high + m_tolerance - ground[2]) / rise);
        // Across the grid in cells per metre of the ray's horizontal run.
        const double dc = dx / length / m_grid.cell, dr = -dy / length / m_grid.cell;
        const double c0 = m_grid.column(ground[0]), r0 = m_grid.row(ground[1]);
        const int block = DsmBuilder::block;
        for (double s = 1.5 * m_grid.cell; s < end;) {
            const double c = c0 + s * dc, r = r0 + s * dr;
            if (c < 0 || r < 0 || c >= m_grid.width || r >= m_grid.height)
                return false;
            const double z = ground[2] + s * rise;
            const int bx = int(c) / block, by = int(r) / block;
            const float top = m_dsm.blockMax[size_t(by) * size_t(m_dsm.blocksAcross) + size_t(bx)];
            if (top == DsmBuilder::noData || top + m_tolerance < z) {
                // The ray only rises: nothing in this block reaches it.
                const double tc = dc > 0   ? ((bx + 1) * block - c) / dc
                                  : dc < 0 ? (bx * block - c) / dc
                                           : 1e30;
                const double tr = dr > 0   ? ((by + 1) * block - r) / dr
                                  : dr < 0 ? (by * block - r) / dr
                                           : 1e30;
                s += std::min(tc, tr) + 1e-3 * m_grid.cell;
                continue;
            }
            float h;
            if (m_sampler.cell(int(c), int(r), h) && h > z + m_tolerance)
                return true;
            s += 0.7 * m_grid.cell;
        }
        return false;
    }

private:
    DsmSampler& m_sampler;
    const RasterGrid& m_grid;
    const DsmBuilder::Result& m_dsm;
    double m_tolerance;
};

void bilinear(const cv::Mat& image, double x, double y, double bgr[3])
{
    // Pixel centres lie at half-integer coordinates.
    const double u = std::clamp(x - 0.5, 0.0, double(image.cols - 1)),
                 v = std::clamp(y - 0.5, 0.0, double(image.rows - 1));
    const int i = std::min(int(u), image.cols - 2 < 0 ? 0 : image.cols - 2);
    const int j = std::min(int(v), image.rows - 2 < 0 ? 0 : image.rows - 2);
    const double fu = u - i, fv = v - j;
    const int i1 = std::min(i + 1, image.cols - 1), j1 = std::min(j + 1, image.rows - 1);
    const auto* a = image.ptr<cv::Vec3b>(j);
    const auto* b = image.ptr<cv::Vec3b>(j1);
    for (int k = 0; k < 3; ++k)
        bgr[k] = (1 - fv) * ((1 - fu) * a[i][k] + fu * a[i1][k]) + fv * ((1 - fu) * b[i][k] + fu * b[i1][k]);
}

struct Candidate {
    double tan2; // squared tangent of the angle off nadir
    int photo;
};

} // namespace

bool OrthoBuilder::build(const std::vector<OrthoPhoto>& photos, const std::string& dsmPath,
                         const RasterGrid& dsmGrid, const DsmBuilder::Result& dsm, const RasterGrid& grid,
                         const Settings& settings, GeoTiffFile& out, Result& result, std::string& error)
{
    const int tile = settings.tile;
    const int across = grid.tilesAcross(tile), down = grid.tilesDown(tile);
    const int tiles = across * down;
    PhotoCache cache(photos, settings.cacheBytes);
    std::mutex mutex;
    std::atomic<int> done{0};
    std::atomic<bool> failed{false};
    const double blend = settings.blendDegrees * M_PI / 180;
    const int threads = settings.threads > 0 ? settings.threads : ParallelFor::defaultThreads();
    // Each thread reads the elevation model through its own handle.
    std::vector<std::pair<std::thread::id, std::unique_ptr<DsmSampler>>> samplers;
    std::mutex samplerMutex;
    auto samplerOfThisThread = [&]() -> DsmSampler& {
        std::lock_guard<std::mutex> lock(samplerMutex);
        const auto me = std::this_thread::get_id();
        for (auto& s : samplers)
            if (s.first == me)
                return *s.second;
        samplers.emplace_back(me, std::make_unique<DsmSampler>(dsmPath, dsmGrid, DsmBuilder::block, 256));
        return *samplers.back().second;
    };
    auto fail = [&](const std::string& why) {
        std::lock_guard<std::mutex> lock(mutex);
        if (error.empty())
            error = why;
        failed = true;
    };

    ParallelFor::run(size_t(tiles), threads, [&](size_t index) {
        if (failed || (settings.stop && *settings.stop))
            return;
        DsmSampler& sampler = samplerOfThisThread();
        if (!sampler.valid()) {
            fail("cannot read back the elevation model " + dsmPath);
            return;
        }
        Occlusion occlusion(sampler, dsmGrid, dsm);
        // Rows of tiles run back and forth, so the photos of the tiles done
        // last are still decoded when the next row begins.
        const int ty = int(index) / across, tx = ty % 2 ? across - 1 - int(index) % across : int(index) % across;
        const int x0 = tx * tile, y0 = ty * tile;
        const int w = std::min(tile, grid.width - x0), h = std::min(tile, grid.height - y0);
        const std::vector<int> over = photosOverTile(photos, grid, x0, y0, w, h, dsm.low, dsm.high);
        std::vector<std::shared_ptr<const cv::Mat>> pixels(
            photos.size()); // the tile's photos, decoded as needed
        std::vector<unsigned char> cells(size_t(w) * size_t(h) * 4, 0);
        std::vector<Candidate> candidates;
        long long coloured = 0, occluded = 0;
        for (int y = 0; y < h && !failed; ++y)
            for (int x = 0; x < w; ++x) {
                double ground[3] = {grid.x(x0 + x + 0.5), grid.y(y0 + y + 0.5), 0};
                if (over.empty() || !sampler.height(ground[0], ground[1], ground[2]))
                    continue;
                candidates.clear();
                for (int i : over) {
                    const OrthoPhoto& p = photos[size_t(i)];
                    const double dx = p.centre[0] - ground[0], dy = p.centre[1] - ground[1],
                                 dz = p.centre[2] - ground[2];
                    if (dz > 0)
                        candidates.push_back({(dx * dx + dy * dy) / (dz * dz), i});
                }
                std::sort(candidates.begin(), candidates.end(),
                          [](const Candidate& a, const Candidate& b) { return a.tan2 < b.tan2; });
                // Weights fall by e for every blend angle further off nadir: the
                // ratio of two photos' weights depends on nothing else, so no
                // photo enters or leaves the blend with a step. Far down the
                // list they no longer count, once the nearer ones carry weight.
                double best = -1, sum[3] = {0, 0, 0}, weights = 0, fallback[3] = {0, 0, 0};
                bool firstHidden = false;
                for (const Candidate& c : candidates) {
                    const double angle = std::atan(std::sqrt(c.tan2));
                    if (best >= 0 && angle - best > (weights >= 0.5 ? 4 : 20) * blend)
                        break;
                    const OrthoPhoto& p = photos[size_t(c.photo)];
                    double px, py;
                    if (!p.project(ground, px, py))
                        continue;
                    const double border = std::min({px, p.width - px, py, p.height - py});
                    if (border <= 0.5)
                        continue;
                    if (occlusion.hidden(ground, p.centre)) {
                        if (best < 0)
                            firstHidden = true;
                        continue;
                    }
                    auto& image = pixels[size_t(c.photo)];
                    if (!image) {
                        std::string why;
                        image = cache.get(size_t(c.photo), why);
                        if (!image) {
                            fail(why);
                            return;
                        }
                    }
                    double bgr[3];
                    bilinear(*image, px, py, bgr);
                    if (best < 0) {
                        best = angle;
                        std::copy(bgr, bgr + 3, fallback);
                    }
                    const double weight = std::exp(-(angle - best) / blend) *
                                          std::min(1.0, (border - 0.5) / settings.borderPixels);
                    for (int k = 0; k < 3; ++k)
                        sum[k] += weight * bgr[k];
                    weights += weight;
                }
                if (best < 0)
                    continue;
                occluded += firstHidden;
                ++coloured;
                unsigned char* cell = &cells[(size_t(y) * size_t(w) + size_t(x)) * 4];
                for (int k = 0; k < 3; ++k) {
                    const double v = weights > 1e-9 ? sum[k] / weights : fallback[k];
                    cell[2 - k] = (unsigned char)std::lround(std::clamp(v, 0.0, 255.0)); // BGR to RGB
                }
                cell[3] = 255;
            }
        if (failed)
            return;
        std::string why;
        if (!out.write(x0, y0, w, h, cells.data(), why)) {
            fail(why);
            return;
        }
        std::lock_guard<std::mutex> lock(mutex);
        result.cells += coloured;
        result.occluded += occluded;
        if (settings.progress)
            settings.progress(++done, tiles);
    });
    if (settings.stop && *settings.stop && error.empty())
        error = "stopped";
    return error.empty();
}
