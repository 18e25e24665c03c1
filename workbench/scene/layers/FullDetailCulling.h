#pragma once

#include <osg/Callback>

// A cull callback that switches small-feature culling off below its node:
// OSG drops anything smaller than a few pixels on screen, which for a paged
// point archive would lose its sparse leaves, points a plainly loaded cloud
// (whose geodes are never culled) still shows. View-frustum culling stays.
class FullDetailCulling : public osg::NodeCallback
{
public:
    void operator()(osg::Node* node, osg::NodeVisitor* visitor) override;
};
