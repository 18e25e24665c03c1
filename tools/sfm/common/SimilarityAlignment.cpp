#include "SimilarityAlignment.h"

#include <cmath>

#include "common/geometry/Rotation.h"

namespace
{

SimilarityAlignment::Point centroid(const std::vector<SimilarityAlignment::Point>& points)
{
    SimilarityAlignment::Point c{};
    for (const auto& p : points)
        for (int k = 0; k < 3; ++k)
            c[k] += p[k] / double(points.size());
    return c;
}

} // namespace

bool SimilarityAlignment::estimate(const std::vector<Point>& from, const std::vector<Point>& to)
{
    if (from.size() < 3 || from.size() != to.size())
        return false;
    const Point ca = centroid(from), cb = centroid(to);
    // Both sets about their middles.
    std::vector<Point> a(from.size()), b(to.size());
    for (size_t i = 0; i < from.size(); ++i)
        for (int k = 0; k < 3; ++k) {
            a[i][k] = from[i][k] - ca[k];
            b[i][k] = to[i][k] - cb[k];
        }
    Rotation::Matrix S{};
    double spread = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        for (size_t r = 0; r < 3; ++r)
            for (size_t c = 0; c < 3; ++c)
                S[3 * r + c] += a[i][r] * b[i][c];
        spread += a[i][0] * a[i][0] + a[i][1] * a[i][1] + a[i][2] * a[i][2];
    }
    if (spread <= 0)
        return false;
    rotation = Rotation::bestFit(S);
    scale = 1;
    translation = {};
    double along = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const Point turned = apply(a[i]);
        along += b[i][0] * turned[0] + b[i][1] * turned[1] + b[i][2] * turned[2];
    }
    scale = along / spread;
    const Point moved = apply(ca);
    for (int r = 0; r < 3; ++r)
        translation[r] = cb[r] - moved[r];
    return true;
}

SimilarityAlignment::Point SimilarityAlignment::apply(const Point& p) const
{
    Point out;
    for (int r = 0; r < 3; ++r)
        out[r] = scale * (rotation[3 * r] * p[0] + rotation[3 * r + 1] * p[1] + rotation[3 * r + 2] * p[2]) +
                 translation[r];
    return out;
}

double SimilarityAlignment::rmsError(const std::vector<Point>& from, const std::vector<Point>& to) const
{
    if (from.empty() || from.size() != to.size())
        return 0;
    double sum = 0;
    for (size_t i = 0; i < from.size(); ++i) {
        const Point p = apply(from[i]);
        for (int k = 0; k < 3; ++k)
            sum += (p[k] - to[i][k]) * (p[k] - to[i][k]);
    }
    return std::sqrt(sum / double(from.size()));
}

double SimilarityAlignment::relativeMisfit(const std::vector<Point>& from, const std::vector<Point>& to)
{
    SimilarityAlignment align;
    if (!align.estimate(from, to))
        return -1;
    const Point middle = centroid(to);
    double spread = 0;
    for (const auto& p : to)
        spread += std::hypot(p[0] - middle[0], p[1] - middle[1], p[2] - middle[2]) / double(to.size());
    return spread > 0 ? align.rmsError(from, to) / spread : -1;
}
