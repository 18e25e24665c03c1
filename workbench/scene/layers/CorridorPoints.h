#pragma once

#include <osg/Node>
#include <osg/ref_ptr>

#include <vector>

// The points of the scene's point clouds that lie in a corridor along a
// line, in survey coordinates (each cloud's placing transform applied in
// double precision), for a section through the dense cloud.
class CorridorPoints
{
public:
    // x0, y0 to x1, y1: the line; width: the corridor across it; at most
    // maxPoints are kept (the rest are counted in skipped). Three doubles a point.
    static std::vector<double> collect(const std::vector<osg::ref_ptr<osg::Node>>& clouds, double x0,
                                       double y0, double x1, double y1, double width, size_t maxPoints,
                                       size_t* skipped = nullptr);
};
