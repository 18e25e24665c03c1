#include "scene/view/SceneBound.h"

#include <osg/AutoTransform>
#include <osg/Geode>
#include <osg/Group>
#include <osg/LOD>
#include <osg/Transform>

#include <algorithm>

namespace
{

osg::BoundingSphered toDouble(const osg::BoundingSphere& bound)
{
    return osg::BoundingSphered(osg::Vec3d(bound.center()), double(bound.radius()));
}

bool countsInParent(const osg::Node& child)
{
    const osg::Transform* transform = child.asTransform();
    return !transform || transform->getReferenceFrame() == osg::Transform::RELATIVE_RF;
}

osg::BoundingSphered groupBound(const osg::Group& group)
{
    osg::BoundingSphered sphere;
    osg::BoundingBoxd box;
    std::vector<osg::BoundingSphered> children;
    children.reserve(group.getNumChildren());
    for (unsigned i = 0; i < group.getNumChildren(); ++i) {
        const osg::Node* child = group.getChild(i);
        if (!child || !countsInParent(*child))
            continue;
        children.push_back(SceneBound::of(*child));
        box.expandBy(children.back());
    }
    if (!box.valid())
        return sphere;
    sphere.set(box.center(), 0.0);
    for (const osg::BoundingSphered& child : children)
        sphere.expandRadiusBy(child);
    return sphere;
}

osg::BoundingSphered transformBound(const osg::Transform& transform)
{
    osg::BoundingSphered sphere = groupBound(transform);
    if (!sphere.valid())
        return sphere;
    osg::Matrixd toParent;
    transform.computeLocalToWorldMatrix(toParent, nullptr);
    const osg::Vec3d centre = sphere.center() * toParent;
    const double r = sphere.radius();
    const double x = ((sphere.center() + osg::Vec3d(r, 0, 0)) * toParent - centre).length();
    const double y = ((sphere.center() + osg::Vec3d(0, r, 0)) * toParent - centre).length();
    const double z = ((sphere.center() + osg::Vec3d(0, 0, r)) * toParent - centre).length();
    return osg::BoundingSphered(centre, std::max({x, y, z}));
}

} // namespace

osg::BoundingSphered SceneBound::of(const osg::Node& node)
{
    // Markers that keep their size on screen count as the point they mark.
    if (const auto* marker = dynamic_cast<const osg::AutoTransform*>(&node))
        if (marker->getComputeBoundingSphereCallback())
            return osg::BoundingSphered(marker->getPosition(), 0.0);
    // Anything with a bound of its own making, paged and level-of-detail
    // trees (whose children may not be loaded) and leaves keep their bound.
    if (node.getComputeBoundingSphereCallback() || dynamic_cast<const osg::LOD*>(&node) || node.asGeode())
        return toDouble(node.getBound());
    if (const osg::Transform* transform = node.asTransform())
        return transformBound(*transform);
    if (const osg::Group* group = node.asGroup())
        return groupBound(*group);
    return toDouble(node.getBound());
}
