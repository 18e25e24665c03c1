#include "DepthFusion.h"

#include <algorithm>
#include <cmath>
#include <opencv2/core/utility.hpp>

namespace
{

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

DepthFusion::DepthFusion(const Settings& settings, int views)
    : m_settings(settings), m_cells(size_t(std::max(0, views)))
{
}

DepthFusion::Cells& DepthFusion::cellsOf(int view, const DepthMap& map)
{
    Cells& c = m_cells[size_t(view)];
    if (c.used.empty()) {
        const int cs = std::max(1, m_settings.csize);
        c.columns = (map.depth.cols + cs - 1) / cs;
        c.rows = (map.depth.rows + cs - 1) / cs;
        c.used.assign(size_t(c.columns) * size_t(c.rows), 0);
    }
    return c;
}

DenseCloud DepthFusion::fuse(const std::vector<DepthMap>& maps, const std::vector<cv::Mat>& colours,
                             const std::vector<int>& targets, const Settings& settings)
{
    DepthFusion fusion(settings, int(maps.size()));
    std::vector<int> all(maps.size());
    for (size_t v = 0; v < maps.size(); ++v)
        all[v] = int(v);
    DenseCloud cloud;
    for (int r : targets)
        fusion.fuseView(r, maps, colours, all, cloud);
    return cloud;
}

void DepthFusion::fuseView(int r, const std::vector<DepthMap>& maps, const std::vector<cv::Mat>& colours,
                           const std::vector<int>& partnerList, DenseCloud& cloud)
{
    const int views = int(maps.size());
    if (r < 0 || r >= views || maps[size_t(r)].empty())
        return;
    const Settings& settings = m_settings;
    const int cs = std::max(1, settings.csize);
    const float minCosine = float(std::cos(settings.maxNormalAngle * M_PI / 180.0));
    std::vector<int> partners;
    for (int j : partnerList)
        if (j != r && j >= 0 && j < views && !maps[size_t(j)].empty()) {
            partners.push_back(j);
            cellsOf(j, maps[size_t(j)]);
        }
    const DepthMap& ref = maps[size_t(r)];
    const Cells& own = cellsOf(r, ref);
    // Marks of other views' cells are set by one row of cells at a time and
    // read by none of this view's rows, so rows can run in parallel.
    std::vector<std::vector<DenseCloud::Point>> rows(size_t(own.rows));
    std::vector<std::vector<std::pair<int, size_t>>> rowMarks(size_t(own.rows));
    cv::parallel_for_(cv::Range(0, own.rows), [&](const cv::Range& range) {
        std::vector<std::pair<int, size_t>> marks;
        for (int cy = range.start; cy < range.end; ++cy) {
            for (int cx = 0; cx < own.columns; ++cx) {
                if (own.used[size_t(cy) * size_t(own.columns) + size_t(cx)])
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
                for (int j : partners) {
                    const DepthMap& other = maps[size_t(j)];
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
                    const Cells& c = m_cells[size_t(j)];
                    marks.push_back({j, size_t(y / cs) * size_t(c.columns) + size_t(x / cs)});
                }
                if (agree < settings.minViews)
                    continue;
                rowMarks[size_t(cy)].insert(rowMarks[size_t(cy)].end(), marks.begin(), marks.end());
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
    for (const auto& marks : rowMarks)
        for (const auto& mark : marks)
            m_cells[size_t(mark.first)].used[mark.second] = 1;
    for (auto& row : rows)
        cloud.points.insert(cloud.points.end(), row.begin(), row.end());
}
