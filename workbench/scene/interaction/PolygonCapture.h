#pragma once

#include <osg/Geode>
#include <osg/Group>
#include <osg/Vec3d>
#include <osg/ref_ptr>

#include <vector>

// The vertices picked for a polygon or a measurement, with a sphere on each
// and an edge (and, when measuring, a distance label) between neighbours.
// Polygon input lets the newest vertex follow the picks until it is fixed;
// measuring adds a vertex on every pick. Vertices are world coordinates in
// double; the marks lie relative to the scene origin given when their groups
// were made.
class PolygonCapture
{
public:
    struct Edge {
        osg::ref_ptr<osg::Geode> line;
        osg::ref_ptr<osg::Geode> label; // null unless the edge was measured
    };

    explicit PolygonCapture(osg::Group* root);

    // Polygon input: replace the unfixed newest vertex, or append after a fixed one.
    void capturePolygon(const osg::Vec3d& point, bool labelEdges);
    // Measuring: every pick after the first appends a vertex and a labelled edge.
    void captureMeasure(const osg::Vec3d& point);
    // Turns the newest vertex green; the next polygon pick starts a new one.
    void fixLast();
    // Removes spheres, edges and labels from the scene and forgets the vertices.
    void clear();
    // The origin the next outline's groups are placed at.
    void setOrigin(const osg::Vec3d& origin) { m_origin = origin; }

    const std::vector<osg::Vec3d>& points() const { return m_points; }
    const std::vector<bool>& fixedFlags() const { return m_fixed; }
    const std::vector<Edge>& edges() const { return m_edges; }
    osg::Group* sphereGroup() const { return m_sphereGroup.get(); }
    osg::Group* lineGroup() const { return m_lineGroup.get(); }

private:
    void start(const osg::Vec3d& point);
    void append(const osg::Vec3d& point, bool labelEdge);
    void replaceSphere(size_t index, bool fixed);

    osg::ref_ptr<osg::Group> m_root;
    osg::Vec3d m_origin;
    osg::Vec3d m_groupOrigin;
    std::vector<osg::Vec3d> m_points;
    std::vector<bool> m_fixed;
    std::vector<osg::ref_ptr<osg::Geode>> m_spheres;
    std::vector<Edge> m_edges;
    osg::ref_ptr<osg::Group> m_sphereGroup;
    osg::ref_ptr<osg::Group> m_lineGroup;
};
