#include "OutlierFilter.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <opencv2/core/utility.hpp>

namespace
{

using Position = std::array<double, 3>;

// Points sorted by the cell of a regular grid they fall in: a neighbourhood
// query looks at the 27 cells around a point. 16 bytes per point.
class CellIndex
{
public:
    CellIndex(const std::vector<DenseCloud::Point>& points, double cell) : m_points(points)
    {
        m_min = {INFINITY, INFINITY, INFINITY};
        Position max = {-INFINITY, -INFINITY, -INFINITY};
        for (const auto& p : points)
            for (int a = 0; a < 3; ++a) {
                m_min[size_t(a)] = std::min(m_min[size_t(a)], p.position[size_t(a)]);
                max[size_t(a)] = std::max(max[size_t(a)], p.position[size_t(a)]);
            }
        // 21 bits per axis: a coarser grid on a huge extent.
        double extent = 0;
        for (int a = 0; a < 3; ++a)
            extent = std::max(extent, max[size_t(a)] - m_min[size_t(a)]);
        m_cell = std::max({cell, extent / 2000000.0, 1e-9});
        m_entries.reserve(points.size());
        for (size_t i = 0; i < points.size(); ++i)
            m_entries.push_back({keyOf(points[i].position), std::uint32_t(i)});
        std::sort(m_entries.begin(), m_entries.end());
    }

    double cell() const { return m_cell; }

    // Calls visit(index, squared distance) for the points in the 27 cells
    // around position, until it returns false. The x axis takes the key's
    // lowest bits: three cells in a row are one run of the sorted entries.
    template <class Visit> void around(const Position& position, Visit visit) const
    {
        long long c[3];
        for (int a = 0; a < 3; ++a)
            c[a] = (long long)std::floor((position[size_t(a)] - m_min[size_t(a)]) / m_cell);
        const long long last = (1 << 21) - 1;
        for (long long z = c[2] - 1; z <= c[2] + 1; ++z)
            for (long long y = c[1] - 1; y <= c[1] + 1; ++y) {
                if (z < 0 || z > last || y < 0 || y > last)
                    continue;
                const std::uint64_t row = (std::uint64_t(z) << 42) | (std::uint64_t(y) << 21);
                const std::uint64_t from = row | std::uint64_t(std::clamp(c[0] - 1, 0LL, last)),
                                    to = row | std::uint64_t(std::clamp(c[0] + 1, 0LL, last));
                auto it = std::lower_bound(m_entries.begin(), m_entries.end(), Entry{from, 0});
                for (; it != m_entries.end() && it->key <= to; ++it) {
                    const Position& q = m_points[it->index].position;
                    const double d2 = (q[0] - position[0]) * (q[0] - position[0]) +
                                      (q[1] - position[1]) * (q[1] - position[1]) +
                                      (q[2] - position[2]) * (q[2] - position[2]);
                    if (!visit(it->index, d2))
                        return;
                }
            }
    }

private:
    struct Entry {
        std::uint64_t key;
        std::uint32_t index;
        bool operator<(const Entry& o) const { return key < o.key || (key == o.key && index < o.index); }
    };

    std::uint64_t keyOf(const Position& p) const
    {
        std::uint64_t key = 0;
        for (int a = 2; a >= 0; --a) {
            const long long c = (long long)std::floor((p[size_t(a)] - m_min[size_t(a)]) / m_cell);
            key = (key << 21) | std::uint64_t(std::clamp(c, 0LL, (1LL << 21) - 1));
        }
        return key;
    }

    const std::vector<DenseCloud::Point>& m_points;
    Position m_min{};
    double m_cell = 1;
    std::vector<Entry> m_entries;
};

// Up to count indices spread evenly over 0..n-1.
std::vector<size_t> sampleOf(size_t n, size_t count)
{
    std::vector<size_t> out;
    const size_t step = std::max<size_t>(1, n / count);
    for (size_t i = 0; i < n; i += step)
        out.push_back(i);
    return out;
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
    return v[v.size() / 2];
}

} // namespace

OutlierFilter::Result OutlierFilter::apply(DenseCloud& cloud, const Settings& settings)
{
    Result result;
    auto& points = cloud.points;
    if (settings.minViews > 0) {
        const size_t before = points.size();
        points.erase(std::remove_if(points.begin(), points.end(),
                                    [&](const DenseCloud::Point& p) {
                                        return p.views > 0 && p.views < settings.minViews;
                                    }),
                     points.end());
        result.fewViews = before - points.size();
    }
    if (points.size() < 8 || points.size() >= (size_t(1) << 32))
        return result;

    // The spacing a point would have if the cloud covered its two largest
    // extents evenly: real surfaces are denser, so the nearest neighbour of
    // nearly every point lies within two such cells.
    Position lo = points.front().position, hi = lo;
    for (const auto& p : points)
        for (int a = 0; a < 3; ++a) {
            lo[size_t(a)] = std::min(lo[size_t(a)], p.position[size_t(a)]);
            hi[size_t(a)] = std::max(hi[size_t(a)], p.position[size_t(a)]);
        }
    double e[3] = {hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]};
    std::sort(e, e + 3);
    const double even = std::sqrt(std::max(e[1] * e[2], 1e-12) / double(points.size()));
    const std::vector<size_t> sample = sampleOf(points.size(), 20000);
    {
        const CellIndex coarse(points, 2 * even);
        std::vector<double> nearest(sample.size(), -1);
        cv::parallel_for_(cv::Range(0, int(sample.size())), [&](const cv::Range& range) {
            for (int k = range.start; k < range.end; ++k) {
                const size_t i = sample[size_t(k)];
                double best = INFINITY;
                coarse.around(points[i].position, [&](size_t j, double d2) {
                    if (j != i && d2 > 0)
                        best = std::min(best, d2);
                    return true;
                });
                if (std::isfinite(best))
                    nearest[size_t(k)] = std::sqrt(best);
            }
        });
        nearest.erase(std::remove(nearest.begin(), nearest.end(), -1.0), nearest.end());
        result.spacing = median(nearest);
    }
    if (!(result.spacing > 0))
        return result;

    const double radius = settings.radius * result.spacing, r2 = radius * radius;
    const CellIndex index(points, radius);
    const auto count = [&](size_t i, size_t enough) {
        size_t n = 0;
        index.around(points[i].position, [&](size_t j, double d2) {
            if (j != i && d2 <= r2)
                ++n;
            return n < enough;
        });
        return n;
    };
    std::vector<double> counts(sample.size());
    cv::parallel_for_(cv::Range(0, int(sample.size())), [&](const cv::Range& range) {
        for (int k = range.start; k < range.end; ++k)
            counts[size_t(k)] = double(count(sample[size_t(k)], 100000));
    });
    const size_t needed = std::max<size_t>(size_t(std::max(0, settings.minNeighbours)),
                                           size_t(std::ceil(settings.typicalShare * median(counts))));
    std::vector<std::uint8_t> keep(points.size());
    cv::parallel_for_(cv::Range(0, int(points.size())), [&](const cv::Range& range) {
        for (int i = range.start; i < range.end; ++i)
            keep[size_t(i)] = count(size_t(i), needed) >= needed;
    });
    size_t out = 0;
    for (size_t i = 0; i < points.size(); ++i)
        if (keep[i])
            points[out++] = points[i];
    result.isolated = points.size() - out;
    points.resize(out);
    return result;
}
