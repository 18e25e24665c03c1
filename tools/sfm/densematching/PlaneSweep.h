#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "DepthMap.h"
#include "MvsCamera.h"

// Depth of every pixel of one reference view by sweeping families of
// parallel planes through the scene: the planes parallel to the image, and
// optionally planes parallel to a dominant surface (the ground seen at a
// slant, a facade seen from the side), on which a square window finds its
// match without the distortion a frontal plane would assume. For each plane
// every neighbour view is warped onto the reference by the plane's
// homography and compared by normalised cross-correlation over the window.
// A pixel's score at a plane is the mean of its best `agree` neighbour
// correlations (so occlusion in the other views does not hurt), its depth
// the best plane of all families, refined by a parabola through the scores
// of the planes beside it. Planes lie about one pixel of shift apart in the
// neighbour that moves most. A sweep over the whole range at half the size
// (itself done the same way) first narrows each pixel's planes to those near
// what it found there. Rows are swept in bands on OpenCV's parallel loop.
class PlaneSweep
{
public:
    struct Settings {
        int window = 7;         // odd
        double threshold = 0.7; // least score kept
        int agree = 2;          // neighbours a score is taken over
        int maxPlanes = 320;    // per family, in a sweep over its whole range
        double planeStep = 1.0; // pixels
        bool coarseToFine = true;
    };

    struct Neighbour {
        const cv::Mat* gray = nullptr; // CV_32F, same reduction as the reference
        const MvsCamera* camera = nullptr;
    };

    // Planes with a common world normal, pointing away from the camera, at
    // distances from the camera centre (along the normal) in a range.
    struct Family {
        MvsCamera::Vec3 normal{};
        double nearest = 0;
        double farthest = 0;
        // false: only refined where the coarser sweeps found depths, never
        // swept over its whole range (which costs most).
        bool wholeRange = true;
    };

    // reference gray image CV_32F; depth range in the reference's depths.
    static DepthMap run(const cv::Mat& gray, const MvsCamera& camera,
                        const std::vector<Neighbour>& neighbours, double nearDepth, double farDepth,
                        const Settings& settings, const std::vector<Family>& families = {});

    // Normals from the depth map's neighbouring points, turned to the camera.
    static void computeNormals(DepthMap& map);
};
