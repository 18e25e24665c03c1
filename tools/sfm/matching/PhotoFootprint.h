#pragma once

#include <vector>

#include <opencv2/core/types.hpp>

// Where a drone photo sees the ground, from what its EXIF and XMP say: the
// rays through the photo's corners cut with level ground at the camera's
// height below it. The take-off point's height stands in for the ground's,
// and the gimbal's angles for the camera's, so a footprint tells which
// photos can share features, not where a feature lies.
class PhotoFootprint
{
public:
    struct View {
        double east = 0, north = 0; // metres, any local frame
        double aboveGround = 0;     // metres
        double pitch = -90;         // degrees, -90 straight down
        double yaw = 0;             // degrees clockwise from north: where the photo's top edge points
        double focal = 0;           // pixels
        int imageWidth = 0, imageHeight = 0;
    };

    // The ground polygon (east, north), corners in order; empty when a
    // corner's ray does not come down at least a few degrees below the
    // horizon or the view says nothing usable.
    static std::vector<cv::Point2d> ground(const View& view);

    struct Overlap {
        double ofSmaller = 0; // shared area over the smaller footprint's
        double ofUnion = 0;   // shared area over the area both cover
    };
    static Overlap overlap(const std::vector<cv::Point2d>& a, const std::vector<cv::Point2d>& b);
};
