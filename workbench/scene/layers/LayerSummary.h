#pragma once

#include <osg/BoundingBox>
#include <osg/Vec3d>

class SparseBundle;

namespace osg
{
class Node;
}

// What the property windows tell about a layer's scene object: how many
// points (and cameras) it holds and where it lies, in survey coordinates.
class LayerSummary
{
public:
    long long points = -1;  // -1 when the layer has no points to count
    long long cameras = -1; // reconstructions only
    bool hasBounds = false;
    osg::Vec3d boundsMin;
    osg::Vec3d boundsMax;
    bool archive = false; // a paged archive: its counts are those of the whole archive

    // The middle of the box, in the fewest decimals that name it.
    osg::Vec3d centre() const;

    // Points of the node's point geometries and their box, through any
    // transforms. Paged archives answer from the figures Points2Archive
    // stored with their root; without them, from what is paged in.
    static LayerSummary ofNode(const osg::Node* node);
    static LayerSummary ofBundle(const SparseBundle& bundle);
};
