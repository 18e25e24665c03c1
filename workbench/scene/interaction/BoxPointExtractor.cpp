#include "scene/interaction/BoxPointExtractor.h"

#include "core/formats/PointShift.h"

#include <osg/Geometry>
#include <osg/PrimitiveSet>
#include <osg/Transform>
#include <osgUtil/IntersectionVisitor>
#include <osgUtil/PolytopeIntersector>

#include <algorithm>

BoxPointExtractor::BoxPointExtractor(const osg::Polytope& polytope, PointShift* shift)
    : osg::NodeVisitor(TRAVERSE_ACTIVE_CHILDREN), m_shift(shift), m_vertices(new osg::Vec3Array),
      m_colours(new osg::Vec4Array)
{
    for (const osg::Plane& plane : polytope.getPlaneList())
        m_planes.emplace_back(plane[0], plane[1], plane[2], plane[3]);
}

void BoxPointExtractor::apply(osg::Transform& transform)
{
    osg::Matrixd matrix = m_matrices.empty() ? osg::Matrixd() : m_matrices.back();
    transform.computeLocalToWorldMatrix(matrix, this);
    m_matrices.push_back(matrix);
    traverse(transform);
    m_matrices.pop_back();
}

bool BoxPointExtractor::inside(const osg::Vec3d& p) const
{
    for (const osg::Vec4d& plane : m_planes)
        if (plane.x() * p.x() + plane.y() * p.y() + plane.z() * p.z() + plane.w() < 0.0)
            return false;
    return true;
}

BoxPointExtractor::ColourSource::ColourSource(const osg::Geometry& geometry)
{
    const osg::Array* array = geometry.getColorArray();
    if (!array || array->getNumElements() == 0)
        return;
    floats = dynamic_cast<const osg::Vec4Array*>(array);
    bytes = dynamic_cast<const osg::Vec4ubArray*>(array);
    size = array->getNumElements();
    perVertex = array->getBinding() == osg::Array::BIND_PER_VERTEX;
}

osg::Vec4 BoxPointExtractor::ColourSource::at(unsigned index) const
{
    // One colour for all, or a short array: the last colour carries on.
    if (!perVertex)
        index = 0;
    else if (index >= size)
        index = size - 1;
    if (floats) {
        const osg::Vec4& c = (*floats)[index];
        return osg::Vec4(c.r(), c.g(), c.b(), 1.0f);
    }
    if (bytes) {
        const osg::Vec4ub& c = (*bytes)[index];
        return osg::Vec4(float(c.r()) / 255.0f, float(c.g()) / 255.0f, float(c.b()) / 255.0f, 1.0f);
    }
    return osg::Vec4(1.0f, 1.0f, 1.0f, 1.0f);
}

osg::Vec4 BoxPointExtractor::colourAt(const osg::Geometry& geometry, unsigned index)
{
    return ColourSource(geometry).at(index);
}

bool BoxPointExtractor::outside(const osg::BoundingBox& bounds, const osg::Matrixd* toWorld) const
{
    for (const osg::Vec4d& plane : m_planes) {
        bool allBehind = true;
        for (unsigned i = 0; i < 8 && allBehind; ++i) {
            const osg::Vec3d corner =
                toWorld ? osg::Vec3d(bounds.corner(i)) * (*toWorld) : osg::Vec3d(bounds.corner(i));
            allBehind =
                plane.x() * corner.x() + plane.y() * corner.y() + plane.z() * corner.z() + plane.w() < 0.0;
        }
        if (allBehind)
            return true;
    }
    return false;
}

void BoxPointExtractor::visitPoint(const ColourSource& colours, const osg::Vec3Array& points, unsigned index,
                                   const osg::Matrixd* toWorld)
{
    const osg::Vec3& local = points[index];
    const osg::Vec3d world = toWorld ? osg::Vec3d(local) * (*toWorld) : osg::Vec3d(local);
    if (!inside(world))
        return;
    ++m_hits;
    m_vertices->push_back(m_shift ? m_shift->toLocal(world) : osg::Vec3(world));
    m_colours->push_back(colours.at(index));
}

void BoxPointExtractor::apply(osg::Geometry& geometry)
{
    const auto* points = dynamic_cast<const osg::Vec3Array*>(geometry.getVertexArray());
    if (!points || points->empty())
        return;
    const osg::Matrixd* toWorld = nullptr;
    if (!m_matrices.empty() && !m_matrices.back().isIdentity())
        toWorld = &m_matrices.back();
    // Clouds wholly outside the box cost one look at their bounds.
    const osg::BoundingBox& bounds = geometry.getBoundingBox();
    if (bounds.valid() && outside(bounds, toWorld))
        return;
    const ColourSource colours(geometry);
    const unsigned count = unsigned(points->size());

    for (unsigned p = 0; p < geometry.getNumPrimitiveSets(); ++p) {
        const osg::PrimitiveSet* set = geometry.getPrimitiveSet(p);
        if (!set || set->getMode() != osg::PrimitiveSet::POINTS)
            continue;
        if (set->getType() == osg::PrimitiveSet::DrawArraysPrimitiveType) {
            const auto* arrays = static_cast<const osg::DrawArrays*>(set);
            const unsigned first = unsigned(std::max(0, arrays->getFirst()));
            // A count beyond the array (a broken file) stops at its end.
            const unsigned last =
                std::min<unsigned>(count, first + unsigned(std::max(0, arrays->getCount())));
            for (unsigned i = first; i < last; ++i)
                visitPoint(colours, *points, i, toWorld);
        } else {
            for (unsigned i = 0; i < set->getNumIndices(); ++i) {
                const unsigned index = set->index(i);
                if (index < count)
                    visitPoint(colours, *points, index, toWorld);
            }
        }
    }
}

size_t BoxPointExtractor::extractWithIntersector(osg::Node* scene, const osg::Polytope& polytope,
                                                 osg::Vec3Array& vertices, osg::Vec4Array& colours)
{
    osg::ref_ptr<osgUtil::PolytopeIntersector> intersector =
        new osgUtil::PolytopeIntersector(osgUtil::Intersector::MODEL, polytope);
    intersector->setPrimitiveMask(osgUtil::PolytopeIntersector::POINT_PRIMITIVES);
    osgUtil::IntersectionVisitor visitor(intersector.get());
    scene->accept(visitor);
    size_t hits = 0;
    for (const osgUtil::PolytopeIntersector::Intersection& hit : intersector->getIntersections()) {
        ++hits;
        const osg::Vec3 local(hit.localIntersectionPoint);
        const osg::Geometry* geometry = hit.drawable ? hit.drawable->asGeometry() : nullptr;
        const osg::Vec4 colour =
            geometry ? colourAt(*geometry, hit.primitiveIndex) : osg::Vec4(1.0f, 1.0f, 1.0f, 1.0f);
        vertices.push_back(hit.matrix.valid() ? osg::Vec3(osg::Vec3d(local) * (*hit.matrix)) : local);
        colours.push_back(colour);
    }
    return hits;
}
