#pragma once

#include <opencv2/core.hpp>

#include "MvsCamera.h"

// What the matcher knows about one view after its sweep: per pixel of the
// reduced image the depth along the viewing axis (0 where nothing was
// found), the correlation score of that depth and the surface normal (world
// frame, facing the camera).
struct DepthMap {
    MvsCamera camera; // of the reduced image
    cv::Mat depth;    // CV_32F
    cv::Mat score;    // CV_32F
    cv::Mat normal;   // CV_32FC3
    int planes = 0;   // of the finest sweep over the whole range
    double swept = 0; // planes swept at full width, on average: the work done

    bool empty() const { return depth.empty(); }
    int validCount() const { return depth.empty() ? 0 : cv::countNonZero(depth); }
};
