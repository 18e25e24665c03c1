#include "core/formats/SceneOrigin.h"

#include "core/io/NumberString.h"

#include <algorithm>
#include <cmath>

bool SceneOrigin::isLarge(const osg::Vec3d& p)
{
    const double m = std::max({std::fabs(p.x()), std::fabs(p.y()), std::fabs(p.z())});
    return m > largeCoordinate && m <= largestOrigin;
}

osg::Vec3d SceneOrigin::gridCorner(const osg::Vec3d& p)
{
    osg::Vec3d corner;
    for (int i = 0; i < 3; ++i)
        corner[i] = std::isfinite(p[i]) ? std::round(p[i] / gridStep) * gridStep + 0.0 : 0.0; // + 0.0: no -0
    return corner;
}

osg::Vec3d SceneOrigin::localOriginFor(const osg::Vec3d& p)
{
    return isLarge(p) ? gridCorner(p) : osg::Vec3d();
}

QString SceneOrigin::text() const
{
    return NumberString::shortest(m_value.x()) + QStringLiteral(", ") + NumberString::shortest(m_value.y()) +
           QStringLiteral(", ") + NumberString::shortest(m_value.z());
}
