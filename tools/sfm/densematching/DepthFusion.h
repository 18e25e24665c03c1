#pragma once

#include <vector>

#include <opencv2/core.hpp>

#include "DenseCloud.h"
#include "DepthMap.h"

// Merges the depth maps of several views into one cloud. A depth becomes a
// point when at least minViews views (itself included) agree on it: the
// point, carried into another view, lands on a pixel whose own depth differs
// by less than the tolerance and whose normal faces the same way. The point
// is the mean of the agreeing estimates (taken along the reference's ray),
// with their mean normal and colour. Each view gives at most one point per
// csize x csize cell, and a cell another view's point already stands for
// gives none, so a surface seen by many views appears once.
//
// Fusion goes a reference view at a time (fuseView), against the maps of
// the views given as its partners, so that a caller can fuse a view as soon
// as its partners' maps exist and release a map once no view still to be
// fused needs it. The marks of the cells already stood for are kept per view
// (one byte a cell) for the whole run.
class DepthFusion
{
public:
    struct Settings {
        int csize = 2;
        int minViews = 3;
        double depthTolerance = 0.01; // relative
        double maxNormalAngle = 60;   // degrees
    };

    DepthFusion(const Settings& settings, int views);

    // The points of reference view r, checked against the maps of partners
    // (views with an empty map are passed over), appended to cloud. maps
    // and colours (CV_8UC3, the maps' size) per view.
    void fuseView(int r, const std::vector<DepthMap>& maps, const std::vector<cv::Mat>& colours,
                  const std::vector<int>& partners, DenseCloud& cloud);

    // All at once: every other view is a partner of every target. Points
    // come from the targets, in their order.
    static DenseCloud fuse(const std::vector<DepthMap>& maps, const std::vector<cv::Mat>& colours,
                           const std::vector<int>& targets, const Settings& settings);

    // Views whose maps agree with a world point within the tolerance; for
    // checking a finished cloud.
    static int agreeingViews(const std::vector<DepthMap>& maps, const std::array<double, 3>& point,
                             double depthTolerance);

private:
    struct Cells {
        int columns = 0, rows = 0;
        std::vector<unsigned char> used;
    };
    Cells& cellsOf(int view, const DepthMap& map);

    Settings m_settings;
    std::vector<Cells> m_cells;
};
