#pragma once

#include <osg/Array>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/ref_ptr>

// The one way point sets are drawn: GL_POINTS over every vertex with a colour
// per vertex, streamed through vertex buffer objects without display lists,
// in a geode that is never culled. Used by point clouds and by the sparse
// points of bundles alike.
class PointGeometry
{
public:
    static osg::ref_ptr<osg::Geometry> makeGeometry(osg::Vec3Array* vertices, osg::Vec4Array* colours);

    // A geode with culling disabled holding makeGeometry(vertices, colours).
    static osg::ref_ptr<osg::Geode> makeGeode(osg::Vec3Array* vertices, osg::Vec4Array* colours);

    // Display lists off, vertex buffer objects on with GL_STREAM_DRAW: for
    // geometry the scene-graph library read, which comes with display lists.
    static void useStreamingBuffers(osg::Geometry* geometry);
};
