#include "scene/layers/VertexShifter.h"

#include "core/formats/PointShift.h"
#include "core/georef/GeoReference.h"

#include <osg/Geometry>
#include <osg/NodeVisitor>
#include <osg/Transform>

#include <algorithm>
#include <vector>

namespace
{

class VertexArrays : public osg::NodeVisitor
{
public:
    VertexArrays() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN) {}
    void apply(osg::Transform& transform) override
    {
        blocked = true;
        traverse(transform);
    }
    void apply(osg::Geometry& geometry) override
    {
        auto* vertices = dynamic_cast<osg::Vec3Array*>(geometry.getVertexArray());
        if (!vertices || vertices->empty())
            return;
        // Geometries may share one array; it moves once.
        if (std::find(arrays.begin(), arrays.end(), vertices) == arrays.end())
            arrays.push_back(vertices);
        geometries.push_back(&geometry);
    }

    bool blocked = false;
    std::vector<osg::Vec3Array*> arrays;
    std::vector<osg::Geometry*> geometries;
};

} // namespace

void VertexShifter::shift(osg::Node& node, PointShift& shift, const GeoReference* geo)
{
    VertexArrays found;
    node.accept(found);
    if (found.blocked || found.arrays.empty())
        return;
    for (osg::Vec3Array* vertices : found.arrays)
        for (osg::Vec3& v : *vertices)
            v = geo ? shift.toLocal(geo->apply(osg::Vec3d(v))) : shift.toLocal(v.x(), v.y(), v.z());
    if (!shift.isShifted() && !geo)
        return;
    for (osg::Vec3Array* vertices : found.arrays)
        vertices->dirty();
    for (osg::Geometry* geometry : found.geometries)
        geometry->dirtyBound();
}
