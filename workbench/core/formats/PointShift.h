#pragma once

#include <osg/Vec3>
#include <osg/Vec3d>

#include "core/formats/SceneOrigin.h"

// How one layer's points, read as doubles, become the floats the scene
// keeps: relative to the scene origin when the layer is large, unchanged
// when it lies near the true origin. The layer's first point decides; when
// it is large and the scene has no origin yet, the layer chooses one (its
// grid corner), which the scene adopts once the layer is loaded.
class PointShift
{
public:
    // For a scene that has no origin yet.
    PointShift() = default;
    explicit PointShift(const SceneOrigin& scene) : m_scene(scene) {}

    // The hot path of the readers: world coordinates to the stored float.
    osg::Vec3 toLocal(double x, double y, double z)
    {
        if (!m_decided)
            decide(osg::Vec3d(x, y, z));
        return osg::Vec3(static_cast<float>(x - m_offset.x()), static_cast<float>(y - m_offset.y()),
                         static_cast<float>(z - m_offset.z()));
    }
    osg::Vec3 toLocal(const osg::Vec3d& world) { return toLocal(world.x(), world.y(), world.z()); }

    // A stored point in world coordinates, with the short decimals it was
    // read from: offset + local, to within half a float step of local.
    osg::Vec3d toWorld(const osg::Vec3& local) const { return toWorld(local, m_offset); }
    static osg::Vec3d toWorld(const osg::Vec3& local, const osg::Vec3d& offset);

    // What the points are stored relative to (zero for a near layer, and
    // until the first point decided).
    const osg::Vec3d& offset() const { return m_offset; }
    bool isShifted() const { return m_offset != osg::Vec3d(); }
    bool isDecided() const { return m_decided; }
    // The scene origin this layer chose, for a scene that had none; unset
    // when the layer took the scene's or needs none.
    const SceneOrigin& chosenOrigin() const { return m_chosen; }
    // The scene origin as it was given.
    const SceneOrigin& sceneOrigin() const { return m_scene; }

    // Forgets the decision: the next point decides again (for points moved
    // after reading, such as a cloud placed by its georeference).
    void restart() { *this = PointShift(m_scene); }

private:
    void decide(const osg::Vec3d& first);

    SceneOrigin m_scene;
    SceneOrigin m_chosen;
    osg::Vec3d m_offset;
    bool m_decided = false;
};
