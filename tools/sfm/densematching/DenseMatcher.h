#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "DenseCloud.h"
#include "DepthMap.h"
#include "DepthMapStore.h"
#include "MvsScene.h"
#include "PmvsOptions.h"

// Multi-view stereo over a prepared scene: reads the views' images reduced
// to the working level, sweeps a depth map for every view against its best
// neighbours (PlaneSweep, ViewSelector), and fuses the maps of the target
// views into one cloud of points that enough views agree on (DepthFusion),
// then leaves the gross outliers out (OutlierFilter).
//
// Fusion is incremental: a target is fused against its partners (the views
// that share sparse points with it, and its sweep neighbours) as soon as
// all of their maps exist, and a view's map and colour image are released
// once no target still to be fused needs them.
class DenseMatcher
{
public:
    struct Options {
        int level = 1;
        int csize = 2;
        double threshold = 0.7;
        int window = 7;
        int minImageNum = 3;
        int threads = 1;
        int maxNeighbours = 4;
        double depthTolerance = 0.01;
        bool keepMaps = false; // keep every map for depthMaps()
    };
    static Options fromPmvs(const PmvsOptions& options);

    DenseMatcher(const MvsScene& scene, const Options& options);

    // targets give points; others are matched too, to confirm the targets'
    // points. False with a reason when an image cannot be read or is too
    // small for the level. Progress lines go to log.
    bool run(const std::vector<int>& targets, const std::vector<int>& others, std::string* error,
             std::ostream* log = nullptr);

    // Maps handed between the runs of one dense stage (its clusters): a
    // helping view whose map the store holds from a run where it was a
    // target is read, not swept again; the targets in handOn are written to
    // it for the runs to come. Without a store every view is swept.
    void setStore(const DepthMapStore* store, std::vector<int> handOn);
    // What the settings of the maps are, as the store compares them.
    std::string mapKey() const;
    // Of the last run: views swept, and helping views read from the store.
    int sweptViews() const { return m_sweptViews; }
    int readViews() const { return m_readViews; }

    const DenseCloud& cloud() const { return m_cloud; }
    // Per view of the scene; empty for views not matched, and for all once
    // fused unless the options keep them.
    const std::vector<DepthMap>& depthMaps() const { return m_maps; }
    // The most depth maps held at once.
    int peakMaps() const { return m_peakMaps; }

private:
    bool loadImages(const std::vector<int>& views, std::string* error);

    const MvsScene& m_scene;
    Options m_options;
    std::vector<cv::Mat> m_gray;      // CV_32F in 0..1, reduced
    std::vector<cv::Mat> m_colour;    // CV_8UC3, reduced
    std::vector<MvsCamera> m_cameras; // full size, then reduced
    std::vector<DepthMap> m_maps;
    const DepthMapStore* m_store = nullptr;
    std::vector<int> m_handOn;
    int m_sweptViews = 0;
    int m_readViews = 0;
    DenseCloud m_cloud;
    int m_peakMaps = 0;
};
