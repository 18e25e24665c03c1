#pragma once

#include <osg/Array>
#include <osg/BoundingBox>
#include <osg/Matrixd>
#include <osg/NodeVisitor>
#include <osg/Polytope>
#include <osg/ref_ptr>

#include <vector>

class PointShift;

namespace osg
{
class Geometry;
class Transform;
} // namespace osg

// Collects the points of every visible GL_POINTS geometry below a node that
// lie inside a convex polytope (the selection box), with their colours. The
// test runs in world coordinates in double, so at survey coordinates too it
// keeps exactly the points inside. Every point inside is kept: a point on an
// axis or a pure red point is a measurement like any other. One pass over the
// vertex arrays; memory grows only with the points kept.
class BoxPointExtractor : public osg::NodeVisitor
{
public:
    // The points kept are stored relative to shift's offset (decided by the
    // first one); without a shift in world coordinates as floats.
    explicit BoxPointExtractor(const osg::Polytope& polytope, PointShift* shift = nullptr);

    void apply(osg::Transform& transform) override;
    void apply(osg::Geometry& geometry) override;

    // Points inside the polytope.
    size_t hits() const { return m_hits; }
    osg::Vec3Array* vertices() const { return m_vertices.get(); }
    osg::Vec4Array* colours() const { return m_colours.get(); }

    // The same selection through the scene-graph library's generic polytope
    // intersector (one record per hit). Far slower and hungrier on big
    // clouds; kept as the reference the fast path is checked against.
    static size_t extractWithIntersector(osg::Node* scene, const osg::Polytope& polytope,
                                         osg::Vec3Array& vertices, osg::Vec4Array& colours);

    // The colour a point keeps: its per-vertex colour (bytes or floats) with
    // alpha 1; an overall colour for every vertex; white without colours.
    static osg::Vec4 colourAt(const osg::Geometry& geometry, unsigned index);

private:
    // A geometry's colours, looked up once rather than per point.
    struct ColourSource {
        const osg::Vec4Array* floats = nullptr;
        const osg::Vec4ubArray* bytes = nullptr;
        unsigned size = 0;
        bool perVertex = false;
        explicit ColourSource(const osg::Geometry& geometry);
        osg::Vec4 at(unsigned index) const;
    };

    bool inside(const osg::Vec3d& p) const;
    // True when the whole box lies behind one plane: none of its points can be inside.
    bool outside(const osg::BoundingBox& bounds, const osg::Matrixd* toWorld) const;
    void visitPoint(const ColourSource& colours, const osg::Vec3Array& points, unsigned index,
                    const osg::Matrixd* toWorld);

    PointShift* m_shift;
    std::vector<osg::Vec4d> m_planes; // a, b, c, d: inside when a*x + b*y + c*z + d >= 0
    std::vector<osg::Matrixd> m_matrices;
    size_t m_hits = 0;
    osg::ref_ptr<osg::Vec3Array> m_vertices;
    osg::ref_ptr<osg::Vec4Array> m_colours;
};
