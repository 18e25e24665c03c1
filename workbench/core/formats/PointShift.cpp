#include "core/formats/PointShift.h"

#include "common/numbers/NumberText.h"

#include <cmath>

void PointShift::decide(const osg::Vec3d& first)
{
    // A non-finite first point (the readers skip such points) decides nothing.
    if (!std::isfinite(first.x()) || !std::isfinite(first.y()) || !std::isfinite(first.z()))
        return;
    m_decided = true;
    if (!SceneOrigin::isLarge(first))
        return;
    if (m_scene.isSet()) {
        m_offset = m_scene.value();
        return;
    }
    m_chosen.set(SceneOrigin::gridCorner(first));
    m_offset = m_chosen.value();
}

osg::Vec3d PointShift::toWorld(const osg::Vec3& local, const osg::Vec3d& offset)
{
    osg::Vec3d world;
    for (int i = 0; i < 3; ++i)
        world[i] = NumberText::fewestDecimals(offset[i] + double(local[i]), NumberText::halfFloatStep(local[i]));
    return world;
}
