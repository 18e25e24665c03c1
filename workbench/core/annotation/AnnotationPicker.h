#pragma once

#include <osg/Vec3d>

// What the annotation forms ask of the 3D view's picking controller: its
// input flags, its last pick and its markers. The forms work without one
// (every call does nothing and there is never a pick), so the picking side
// can be attached when it exists.
class AnnotationPicker
{
public:
    virtual ~AnnotationPicker() = default;

    // Sets the point-input (or polygon-input) flag and clears the new-pick flag.
    virtual void setPointInput(bool /*on*/) {}
    virtual void setPolygonInput(bool /*on*/) {}
    // When a new pick is waiting: clears the flag, gives its position (world
    // coordinates), true.
    virtual bool takeNewPick(osg::Vec3d& /*position*/) { return false; }
    virtual void movePointMarker(const osg::Vec3d& /*position*/) {}
    virtual void removePointMarker() {}
    // Adds a vertex to the outline preview and marks it as the last one set.
    virtual void extendPolygonPreview(const osg::Vec3d& /*vertex*/) {}
    virtual void removePolygonPreview() {}
};
