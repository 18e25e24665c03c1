#pragma once

#include <osg/Node>

class GeoReference;
class PointShift;

// Moves the vertex arrays of a node read by the scene-graph library (binary
// PLY, models) to a layer's offset. Those readers keep the file's values as
// floats; at survey coordinates the floats are moved to the kilometre corner
// (exactly: a float of the file minus the corner is a float again) and the
// caller places the node under a transform adding the offset back. The
// first vertex of the first array decides, as it does for our own readers.
class VertexShifter
{
public:
    // Leaves the node as it is (and shift undecided) when a transform inside
    // it would move the vertices of one array differently from another.
    // With a georeference the vertices are first moved by it, in double.
    static void shift(osg::Node& node, PointShift& shift, const GeoReference* geo = nullptr);
};
