#include "DepthFusion.h"

#include <atomic>
#include <cmath>
#include <memory>
#include <opencv2/core/utility.hpp>

namespace
{

struct Cells {
    int columns = 0, rows = 0;
    std::unique_ptr<std::atomic<unsigned char>[]> used;
};

// Pixel of a world point in a map, with its depth there; false outside.
bool landing(const DepthMap& map, const MvsCamera::Vec3& X, int& x, int& y, double& expected)
{
    double u, v;
    if (!map.camera.project(X, u, v, expected))
        return false;
    x = int(std::lround(u));
    y = int(std::lround(v));
    return x >= 0 && y >= 0 && x < map.depth.cols && y < map.depth.rows;
}

} // namespace

int DepthFusion::agreeingViews(const std::vector<DepthMap>& maps, const std::array<double, 3>& point,
                               double depthTolerance)
{
    int count = 0;
    for (const DepthMap& map : maps) {
        int x, y;
        double expected;
        if (map.empty() || !landing(map, point, x, y, expected))
            continue;
        const float d = map.depth.at<float>(y, x);
        if (d > 0 && std::abs(d - expected) < depthTolerance * expected)
            ++count;
    }
    return count;
}

DenseCloud DepthFusion::fuse(const std::vector<DepthMap>& maps, const std::vector<cv::Mat>& colours,
                             const std::vector<int>& targets, const Settings& settings)
{
    const int views = int(maps.size());
    const int cs = std::max(1, settings.csize);
    const float minCosine = float(std::cos(settings.maxNormalAngle * M_PI / 180.0));
    std::vector<Cells> cells(static_cast<size_t>(views));
    for (int v = 0; v < views; ++v) {
        if (maps[size_t(v)].empty())
            continue;
        Cells& c = cells[size_t(v)];
        c.columns = (maps[size_t(v)].depth.cols + cs - 1) / cs;
        c.rows = (maps[size_t(v)].depth.rows + cs - 1) / cs;
        c.used.reset(new std::atomic<unsigned char>[size_t(c.columns) * size_t(c.rows)]);
        for (size_t i = 0; i < size_t(c.columns) * size_t(c.rows); ++i)
            c.used[i].store(0, std::memory_order_relaxed);
    }

    DenseCloud cloud;
    for (int r : targets) {
        if (r < 0 || r >= views || maps[size_t(r)].empty())
            continue;
        const DepthMap& ref = maps[size_t(r)];
        const Cells& own = cells[size_t(r)];
        std::vector<std::vector<DenseCloud::Point>> rows(size_t(own.rows));
        cv::parallel_for_(cv::Range(0, own.rows), [&](const cv::Range& range) {
            std::vector<std::pair<int, size_t>> marks;
            for (int cy = range.start; cy < range.end; ++cy) {
                for (int cx = 0; cx < own.columns; ++cx) {
                    if (own.used[size_t(cy) * size_t(own.columns) + size_t(cx)].load(
                            std::memory_order_relaxed))
                        continue;
                    // The cell's best scored pixel speaks for it.
                    int bx = -1, by = -1;
                    float bestScore = -2;
                    for (int y = cy * cs; y < std::min((cy + 1) * cs, ref.depth.rows); ++y)
                        for (int x = cx * cs; x < std::min((cx + 1) * cs, ref.depth.cols); ++x)
                            if (ref.depth.at<float>(y, x) > 0 && ref.score.at<float>(y, x) > bestScore) {
                                bestScore = ref.score.at<float>(y, x);
                                bx = x;
                                by = y;
                            }
                    if (bx < 0)
                        continue;
                    const double d0 = ref.depth.at<float>(by, bx);
                    const MvsCamera::Vec3 X = ref.camera.backProject(bx, by, d0);
                    const cv::Vec3f n0 = ref.normal.at<cv::Vec3f>(by, bx);
                    double depthSum = d0;
                    cv::Vec3f normalSum = n0;
                    cv::Vec3f colourSum = cv::Vec3f(colours[size_t(r)].at<cv::Vec3b>(by, bx));
                    int agree = 1;
                    marks.clear();
                    for (int j = 0; j < views; ++j) {
                        const DepthMap& other = maps[size_t(j)];
                        if (j == r || other.empty())
                            continue;
                        int x, y;
                        double expected;
                        if (!landing(other, X, x, y, expected))
                            continue;
                        const float d = other.depth.at<float>(y, x);
                        if (!(d > 0) || std::abs(d - expected) >= settings.depthTolerance * expected)
                            continue;
                        const cv::Vec3f n = other.normal.at<cv::Vec3f>(y, x);
                        if (n.dot(n0) < minCosine)
                            continue;
                        double u, v, dr;
                        if (!ref.camera.project(other.camera.backProject(x, y, d), u, v, dr))
                            continue;
                        depthSum += dr;
                        normalSum += n;
                        colourSum += cv::Vec3f(colours[size_t(j)].at<cv::Vec3b>(y, x));
                        ++agree;
                        const Cells& c = cells[size_t(j)];
                        marks.push_back({j, size_t(y / cs) * size_t(c.columns) + size_t(x / cs)});
                    }
                    if (agree < settings.minViews)
                        continue;
                    for (const auto& mark : marks)
                        cells[size_t(mark.first)].used[mark.second].store(1, std::memory_order_relaxed);
                    DenseCloud::Point p;
                    p.position = ref.camera.backProject(bx, by, depthSum / agree);
                    const float len = float(cv::norm(normalSum));
                    const cv::Vec3f n = len > 0 ? normalSum / len : n0;
                    p.normal = {n[0], n[1], n[2]};
                    const cv::Vec3f colour = colourSum / float(agree);
                    // Images are BGR.
                    p.colour = {cv::saturate_cast<std::uint8_t>(colour[2]),
                                cv::saturate_cast<std::uint8_t>(colour[1]),
                                cv::saturate_cast<std::uint8_t>(colour[0])};
                    p.views = agree;
                    rows[size_t(cy)].push_back(p);
                }
            }
        });
        for (auto& row : rows)
            cloud.points.insert(cloud.points.end(), row.begin(), row.end());
    }
    return cloud;
}
