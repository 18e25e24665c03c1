#include "core/georef/SimilarityFit.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>

#include "common/geometry/Rotation.h"
#include "common/geometry/SymmetricEigen.h"

namespace
{

osg::Vec3d centroid(const std::vector<osg::Vec3d>& points, const std::vector<size_t>& use)
{
    osg::Vec3d sum;
    for (size_t i : use)
        sum += points[i];
    return sum / double(use.size());
}

// The spread of the points about their centroid along its weakest direction,
// relative to the strongest: near zero for points on a line.
double lineness(const std::vector<osg::Vec3d>& points, const std::vector<size_t>& use)
{
    const osg::Vec3d c = centroid(points, use);
    SymmetricEigen<3>::Matrix m{};
    for (size_t i : use) {
        const osg::Vec3d d = points[i] - c;
        for (int r = 0; r < 3; ++r)
            for (int k = 0; k < 3; ++k)
                m[size_t(r)][size_t(k)] += d[r] * d[k];
    }
    std::array<double, 3> values = SymmetricEigen<3>(m).values;
    std::sort(values.begin(), values.end());
    return values[2] > 0 ? std::sqrt(std::max(values[1], 0.0) / values[2]) : 0;
}

// Horn's closed form on the pairs in use; false when they lie on a line.
bool fitPairs(const std::vector<osg::Vec3d>& from, const std::vector<osg::Vec3d>& to, const std::vector<size_t>& use,
              SimilarityFit::Result* r)
{
    if (use.size() < 3 || lineness(from, use) < 1e-6 || lineness(to, use) < 1e-6)
        return false;
    const osg::Vec3d cf = centroid(from, use), ct = centroid(to, use);
    Rotation::Matrix s{};
    double spreadFrom = 0, spreadTo = 0;
    for (size_t i : use) {
        const osg::Vec3d a = from[i] - cf, b = to[i] - ct;
        spreadFrom += a.length2();
        spreadTo += b.length2();
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                s[size_t(3 * j + k)] += a[j] * b[k];
    }
    const Rotation::Matrix R = Rotation::bestFit(s);
    r->rotation.makeIdentity();
    for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k)
            r->rotation(j, k) = R[size_t(3 * j + k)];
    // The symmetric scale (Horn): the same whichever set is taken as the source.
    r->scale = std::sqrt(spreadTo / spreadFrom);
    r->translation = osg::Vec3d();
    r->translation = ct - r->apply(cf);
    return std::isfinite(r->scale) && r->scale > 0;
}

void measure(const std::vector<osg::Vec3d>& from, const std::vector<osg::Vec3d>& to, SimilarityFit::Result* r)
{
    r->residuals.resize(from.size());
    double sum = 0;
    int used = 0;
    for (size_t i = 0; i < from.size(); ++i) {
        r->residuals[i] = (to[i] - r->apply(from[i])).length();
        if (r->used[i]) {
            sum += r->residuals[i] * r->residuals[i];
            ++used;
        }
    }
    r->rms = used ? std::sqrt(sum / used) : 0;
}

bool check(const std::vector<osg::Vec3d>& from, const std::vector<osg::Vec3d>& to, QString* error)
{
    if (from.size() != to.size()) {
        *error = QStringLiteral("the point sets differ in size");
        return false;
    }
    if (from.size() < 3) {
        *error = QStringLiteral("%1 usable points; at least three are needed").arg(from.size());
        return false;
    }
    for (size_t i = 0; i < from.size(); ++i)
        if (!std::isfinite(from[i].length2()) || !std::isfinite(to[i].length2())) {
            *error = QStringLiteral("point %1 is not a number").arg(i + 1);
            return false;
        }
    std::vector<size_t> all(from.size());
    std::iota(all.begin(), all.end(), 0);
    if (lineness(from, all) < 1e-6 || lineness(to, all) < 1e-6) {
        *error = QStringLiteral("the points lie on one line; they fix no rotation about it");
        return false;
    }
    return true;
}

} // namespace

osg::Vec3d SimilarityFit::Result::apply(const osg::Vec3d& p) const
{
    const osg::Vec3d rotated(rotation(0, 0) * p.x() + rotation(0, 1) * p.y() + rotation(0, 2) * p.z(),
                             rotation(1, 0) * p.x() + rotation(1, 1) * p.y() + rotation(1, 2) * p.z(),
                             rotation(2, 0) * p.x() + rotation(2, 1) * p.y() + rotation(2, 2) * p.z());
    return translation + rotated * scale;
}

bool SimilarityFit::fit(const std::vector<osg::Vec3d>& from, const std::vector<osg::Vec3d>& to, Result* result,
                        QString* error)
{
    if (!check(from, to, error))
        return false;
    Result r;
    std::vector<size_t> all(from.size());
    std::iota(all.begin(), all.end(), 0);
    if (!fitPairs(from, to, all, &r)) {
        *error = QStringLiteral("no similarity fits these points");
        return false;
    }
    r.used.assign(from.size(), true);
    measure(from, to, &r);
    *result = r;
    return true;
}

bool SimilarityFit::robustFit(const std::vector<osg::Vec3d>& from, const std::vector<osg::Vec3d>& to, Result* result,
                              QString* error)
{
    if (!check(from, to, error))
        return false;
    const size_t n = from.size();
    // Every triple of a small set; a fixed sequence of triples of a large one,
    // so the same input gives the same fit.
    std::vector<std::array<size_t, 3>> triples;
    if (n <= 40) {
        for (size_t a = 0; a < n; ++a)
            for (size_t b = a + 1; b < n; ++b)
                for (size_t c = b + 1; c < n; ++c)
                    triples.push_back({a, b, c});
    } else {
        std::uint64_t state = 0x9E3779B97F4A7C15ull;
        auto next = [&] {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            return size_t(state % n);
        };
        while (triples.size() < 2000) {
            const size_t a = next(), b = next(), c = next();
            if (a != b && b != c && a != c)
                triples.push_back({a, b, c});
        }
    }
    double bestMedian = std::numeric_limits<double>::infinity();
    Result best;
    std::vector<double> squared(n);
    for (const auto& t : triples) {
        Result r;
        if (!fitPairs(from, to, {t[0], t[1], t[2]}, &r))
            continue;
        for (size_t i = 0; i < n; ++i)
            squared[i] = (to[i] - r.apply(from[i])).length2();
        std::nth_element(squared.begin(), squared.begin() + long(n / 2), squared.end());
        if (squared[n / 2] < bestMedian) {
            bestMedian = squared[n / 2];
            best = r;
        }
    }
    if (!std::isfinite(bestMedian)) {
        *error = QStringLiteral("no three of the points fix a similarity");
        return false;
    }
    // Rousseeuw's scale estimate from the median, then the pairs within 2.5 of it.
    const double sigma = 1.4826 * (1 + 5.0 / double(n > 3 ? n - 3 : 1)) * std::sqrt(bestMedian);
    const double bound = std::max(2.5 * sigma, 1e-9 * (1 + best.translation.length()));
    std::vector<size_t> inliers;
    for (size_t i = 0; i < n; ++i)
        if ((to[i] - best.apply(from[i])).length() <= bound)
            inliers.push_back(i);
    Result r = best;
    if (!fitPairs(from, to, inliers, &r))
        r = best;
    r.used.assign(n, false);
    for (size_t i : inliers)
        r.used[i] = true;
    measure(from, to, &r);
    *result = r;
    return true;
}
