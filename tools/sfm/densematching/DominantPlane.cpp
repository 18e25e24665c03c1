#include "DominantPlane.h"

#include <cmath>
#include <opencv2/core.hpp>
#include <random>

bool DominantPlane::find(const std::vector<std::array<double, 3>>& points, double tolerance, double minShare)
{
    const size_t n = points.size();
    if (n < 3 || !(tolerance > 0))
        return false;
    std::mt19937 random(12345); // the same plane on every run
    std::uniform_int_distribution<size_t> pick(0, n - 1);
    size_t bestCount = 0;
    std::array<double, 3> bestNormal{};
    double bestOffset = 0;
    for (int round = 0; round < 500; ++round) {
        const auto& a = points[pick(random)];
        const auto& b = points[pick(random)];
        const auto& c = points[pick(random)];
        const double u[3] = {b[0] - a[0], b[1] - a[1], b[2] - a[2]},
                     v[3] = {c[0] - a[0], c[1] - a[1], c[2] - a[2]};
        std::array<double, 3> N = {u[1] * v[2] - u[2] * v[1], u[2] * v[0] - u[0] * v[2],
                                   u[0] * v[1] - u[1] * v[0]};
        const double length = std::sqrt(N[0] * N[0] + N[1] * N[1] + N[2] * N[2]);
        if (!(length > 0))
            continue;
        for (double& x : N)
            x /= length;
        const double offset = N[0] * a[0] + N[1] * a[1] + N[2] * a[2];
        size_t count = 0;
        for (const auto& p : points)
            count += std::abs(N[0] * p[0] + N[1] * p[1] + N[2] * p[2] - offset) < tolerance ? 1 : 0;
        if (count > bestCount) {
            bestCount = count;
            bestNormal = N;
            bestOffset = offset;
        }
    }
    share = double(bestCount) / double(n);
    if (share < minShare)
        return false;
    // Least squares over the inliers: the normal is the direction of least
    // spread about their centroid.
    cv::Mat inliers(0, 3, CV_64F);
    for (const auto& p : points)
        if (std::abs(bestNormal[0] * p[0] + bestNormal[1] * p[1] + bestNormal[2] * p[2] - bestOffset) <
            tolerance)
            inliers.push_back(cv::Mat(1, 3, CV_64F, const_cast<double*>(p.data())));
    cv::Mat covariance, mean;
    cv::calcCovarMatrix(inliers, covariance, mean, cv::COVAR_NORMAL | cv::COVAR_ROWS);
    cv::Mat values, vectors;
    cv::eigen(covariance, values, vectors);
    for (int k = 0; k < 3; ++k)
        normal[size_t(k)] = vectors.at<double>(2, k);
    offset = normal[0] * mean.at<double>(0) + normal[1] * mean.at<double>(1) + normal[2] * mean.at<double>(2);
    return true;
}
