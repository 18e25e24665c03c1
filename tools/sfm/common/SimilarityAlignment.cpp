#include "SimilarityAlignment.h"

#include <cmath>

#include "NvmFile.h"

namespace
{

using Matrix4 = std::array<std::array<double, 4>, 4>;

// Eigenvector of the largest eigenvalue of a symmetric 4 x 4 matrix (cyclic Jacobi).
std::array<double, 4> largestEigenvector(Matrix4 a)
{
    Matrix4 v{};
    for (int i = 0; i < 4; ++i)
        v[i][i] = 1;
    for (int sweep = 0; sweep < 50; ++sweep) {
        double off = 0;
        for (int p = 0; p < 4; ++p)
            for (int q = p + 1; q < 4; ++q)
                off += a[p][q] * a[p][q];
        if (off < 1e-30)
            break;
        for (int p = 0; p < 4; ++p)
            for (int q = p + 1; q < 4; ++q) {
                if (std::abs(a[p][q]) < 1e-300)
                    continue;
                const double theta = (a[q][q] - a[p][p]) / (2 * a[p][q]);
                const double t = (theta >= 0 ? 1 : -1) / (std::abs(theta) + std::sqrt(theta * theta + 1));
                const double c = 1 / std::sqrt(t * t + 1), s = t * c;
                for (int k = 0; k < 4; ++k) {
                    const double akp = a[k][p], akq = a[k][q];
                    a[k][p] = c * akp - s * akq;
                    a[k][q] = s * akp + c * akq;
                }
                for (int k = 0; k < 4; ++k) {
                    const double apk = a[p][k], aqk = a[q][k];
                    a[p][k] = c * apk - s * aqk;
                    a[q][k] = s * apk + c * aqk;
                }
                for (int k = 0; k < 4; ++k) {
                    const double vkp = v[k][p], vkq = v[k][q];
                    v[k][p] = c * vkp - s * vkq;
                    v[k][q] = s * vkp + c * vkq;
                }
            }
    }
    int best = 0;
    for (int i = 1; i < 4; ++i)
        if (a[i][i] > a[best][best])
            best = i;
    return {v[0][best], v[1][best], v[2][best], v[3][best]};
}

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
    double S[3][3] = {};
    double spread = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                S[r][c] += a[i][r] * b[i][c];
        spread += a[i][0] * a[i][0] + a[i][1] * a[i][1] + a[i][2] * a[i][2];
    }
    if (spread <= 0)
        return false;
    const Matrix4 N = {
        {{S[0][0] + S[1][1] + S[2][2], S[1][2] - S[2][1], S[2][0] - S[0][2], S[0][1] - S[1][0]},
         {S[1][2] - S[2][1], S[0][0] - S[1][1] - S[2][2], S[0][1] + S[1][0], S[2][0] + S[0][2]},
         {S[2][0] - S[0][2], S[0][1] + S[1][0], -S[0][0] + S[1][1] - S[2][2], S[1][2] + S[2][1]},
         {S[0][1] - S[1][0], S[2][0] + S[0][2], S[1][2] + S[2][1], -S[0][0] - S[1][1] + S[2][2]}}};
    NvmFile::Camera turn;
    turn.quaternion = largestEigenvector(N);
    rotation = turn.rotation();
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
