#pragma once

#include <cstddef>

#include "DenseCloud.h"

// Removes the gross outliers of a fused cloud: points that too few views
// support, and points whose neighbourhood is empty at the cloud's own scale.
// The scale is the median distance from a point to its nearest neighbour;
// a point is kept when at least minNeighbours other points lie within
// radius times that distance, and at least a share of what a typical point
// has there. A surface one point thick (a wall, a roof edge) keeps its
// points; a stray point, or a small clump far from any surface, goes.
// Colours, normals and the order of the points kept are unchanged.
class OutlierFilter
{
public:
    struct Settings {
        int minViews = 0;               // 0: the views are not looked at
        double radius = 4;              // in nearest-neighbour spacings
        int minNeighbours = 3;          // at least this many within the radius
        double typicalShare = 1.0 / 16; // and at least this share of the median count
    };

    struct Result {
        size_t fewViews = 0;
        size_t isolated = 0;
        double spacing = 0; // the cloud's median nearest-neighbour distance
    };

    static Result apply(DenseCloud& cloud, const Settings& settings);
    static Result apply(DenseCloud& cloud) { return apply(cloud, Settings()); }
};
