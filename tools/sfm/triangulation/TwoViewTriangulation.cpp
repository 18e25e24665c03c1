#include "TwoViewTriangulation.h"

#include <opencv2/calib3d.hpp>

#include <cmath>
#include <cstdio>

namespace
{

// The direction of an observation's ray in world coordinates: R^T (x, y, 1), unit length.
std::array<double, 3> rayDirection(const TwoViewTriangulation::Observation& o)
{
    const std::array<double, 2> p = o.camera->undistortedPoint(o.column, o.row);
    const auto& R = o.camera->rotation;
    std::array<double, 3> d{};
    for (int c = 0; c < 3; ++c)
        d[size_t(c)] = R[size_t(c)] * p[0] + R[size_t(3 + c)] * p[1] + R[size_t(6 + c)];
    const double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    for (double& v : d)
        v /= length;
    return d;
}

} // namespace

double TwoViewTriangulation::rayAngleDegrees(const Observation& a, const Observation& b)
{
    const std::array<double, 3> da = rayDirection(a), db = rayDirection(b);
    const double cosine = da[0] * db[0] + da[1] * db[1] + da[2] * db[2];
    const double sine = std::hypot(da[1] * db[2] - da[2] * db[1], da[2] * db[0] - da[0] * db[2],
                                   da[0] * db[1] - da[1] * db[0]);
    return std::atan2(sine, cosine) * 180.0 / M_PI;
}

bool TwoViewTriangulation::triangulate(const Observation& a, const Observation& b,
                                       std::array<double, 3>& point, std::string* error)
{
    const double angle = rayAngleDegrees(a, b);
    if (!(angle >= minimumAngleDegrees)) {
        if (error) {
            char text[240];
            std::snprintf(
                text, sizeof text,
                "the two rays meet at %.3g degrees, less than the %g a point needs: pick the spot in "
                "two images taken from places further apart",
                angle, minimumAngleDegrees);
            *error = text;
        }
        return false;
    }
    const std::array<double, 2> pa = a.camera->undistortedPoint(a.column, a.row);
    const std::array<double, 2> pb = b.camera->undistortedPoint(b.column, b.row);
    const cv::Matx34d poseA(a.camera->pose().data());
    const cv::Matx34d poseB(b.camera->pose().data());
    cv::Mat homogeneous;
    cv::triangulatePoints(poseA, poseB, cv::Mat(cv::Matx21d(pa[0], pa[1])),
                          cv::Mat(cv::Matx21d(pb[0], pb[1])), homogeneous);
    const double w = homogeneous.at<double>(3, 0);
    if (!std::isfinite(w) || std::abs(w) < 1e-12) {
        if (error)
            *error = "the two rays are parallel: pick the point in images taken from different places";
        return false;
    }
    point = {homogeneous.at<double>(0, 0) / w, homogeneous.at<double>(1, 0) / w,
             homogeneous.at<double>(2, 0) / w};
    if (a.camera->depth(point) <= 0 || b.camera->depth(point) <= 0) {
        if (error)
            *error = "the two rays meet behind a camera: the observations do not show the same spot";
        return false;
    }
    return true;
}
