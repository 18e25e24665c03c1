#include "PhotoFootprint.h"

#include <cmath>

#include <opencv2/imgproc.hpp>

namespace
{

struct Vector {
    double x, y, z;
};

Vector operator*(double s, const Vector& v) { return {s * v.x, s * v.y, s * v.z}; }
Vector operator+(const Vector& a, const Vector& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vector cross(const Vector& a, const Vector& b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

} // namespace

std::vector<cv::Point2d> PhotoFootprint::ground(const View& v)
{
    if (!(v.aboveGround > 0) || !(v.focal > 0) || v.imageWidth <= 0 || v.imageHeight <= 0 ||
        !std::isfinite(v.pitch) || !std::isfinite(v.yaw) || !std::isfinite(v.east) || !std::isfinite(v.north))
        return {};
    const double pitch = v.pitch * M_PI / 180, yaw = v.yaw * M_PI / 180;
    // The photo's top edge points along the heading, tilted up with the pitch.
    const Vector heading{std::sin(yaw), std::cos(yaw), 0}, up{0, 0, 1};
    const Vector forward = std::cos(pitch) * heading + std::sin(pitch) * up;
    const Vector top = -std::sin(pitch) * heading + std::cos(pitch) * up;
    const Vector right = cross(forward, top);
    std::vector<cv::Point2d> corners;
    const double cx = v.imageWidth / 2.0, cy = v.imageHeight / 2.0;
    for (const auto& [px, py] : {std::pair<double, double>{0, 0}, {double(v.imageWidth), 0},
                                 {double(v.imageWidth), double(v.imageHeight)}, {0, double(v.imageHeight)}}) {
        const Vector ray = forward + ((px - cx) / v.focal) * right + (-(py - cy) / v.focal) * top;
        const double length = std::sqrt(ray.x * ray.x + ray.y * ray.y + ray.z * ray.z);
        // At least five degrees down: flatter rays reach too far to say anything.
        if (ray.z > -std::sin(5 * M_PI / 180) * length)
            return {};
        const double t = v.aboveGround / -ray.z;
        corners.emplace_back(v.east + t * ray.x, v.north + t * ray.y);
    }
    return corners;
}

PhotoFootprint::Overlap PhotoFootprint::overlap(const std::vector<cv::Point2d>& a,
                                                const std::vector<cv::Point2d>& b)
{
    if (a.size() < 3 || b.size() < 3)
        return {};
    // Relative to a's first corner: survey coordinates lose too much in float.
    const cv::Point2d origin = a.front();
    std::vector<cv::Point2f> fa, fb, shared;
    for (const auto& p : a)
        fa.emplace_back(p - origin);
    for (const auto& p : b)
        fb.emplace_back(p - origin);
    const double areaA = std::abs(cv::contourArea(fa)), areaB = std::abs(cv::contourArea(fb));
    if (areaA <= 0 || areaB <= 0)
        return {};
    const double common = std::max(0.0, double(cv::intersectConvexConvex(fa, fb, shared, true)));
    return {common / std::min(areaA, areaB), common / (areaA + areaB - common)};
}
