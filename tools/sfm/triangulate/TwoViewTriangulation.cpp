#include "TwoViewTriangulation.h"

#include <opencv2/calib3d.hpp>

#include <cmath>

bool TwoViewTriangulation::triangulate(const Observation& a, const Observation& b,
                                       std::array<double, 3>& point, std::string* error)
{
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
