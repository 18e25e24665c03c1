#include "scene/interaction/PolygonCapture.h"

#include "scene/interaction/PickMarks.h"

PolygonCapture::PolygonCapture(osg::Group* root) : m_root(root) {}

void PolygonCapture::start(const osg::Vec3d& point)
{
    m_groupOrigin = m_origin;
    m_points.push_back(point);
    m_fixed.push_back(false);
    m_spheres.push_back(PickMarks::sphere(point, false, m_groupOrigin));
    m_sphereGroup = PickMarks::groupAt(m_groupOrigin);
    m_sphereGroup->addChild(m_spheres.back().get());
    m_root->addChild(m_sphereGroup.get());
}

void PolygonCapture::append(const osg::Vec3d& point, bool labelEdge)
{
    const osg::Vec3d previous = m_points.back();
    m_points.push_back(point);
    m_fixed.push_back(false);
    m_spheres.push_back(PickMarks::sphere(point, false, m_groupOrigin));
    m_sphereGroup->addChild(m_spheres.back().get());

    Edge edge;
    edge.line = PickMarks::edge(previous, point, m_groupOrigin);
    if (!m_lineGroup.valid()) {
        m_lineGroup = PickMarks::groupAt(m_groupOrigin);
        m_root->addChild(m_lineGroup.get());
    }
    m_lineGroup->addChild(edge.line.get());
    if (labelEdge) {
        edge.label = PickMarks::distanceLabel(previous, point, m_groupOrigin);
        m_lineGroup->addChild(edge.label.get());
    }
    m_edges.push_back(edge);
}

void PolygonCapture::replaceSphere(size_t index, bool fixed)
{
    osg::ref_ptr<osg::Geode> sphere = PickMarks::sphere(m_points[index], fixed, m_groupOrigin);
    m_sphereGroup->replaceChild(m_spheres[index].get(), sphere.get());
    m_spheres[index] = sphere;
}

void PolygonCapture::capturePolygon(const osg::Vec3d& point, bool labelEdges)
{
    if (m_points.empty()) {
        start(point);
        return;
    }
    if (m_fixed.back()) {
        append(point, labelEdges);
        return;
    }
    // The unfixed vertex follows the pick; its sphere moves rather than
    // leaving a stale one behind, and the edge into it follows too.
    const size_t last = m_points.size() - 1;
    m_points[last] = point;
    replaceSphere(last, false);
    if (last > 0 && !m_edges.empty()) {
        const Edge& edge = m_edges.back();
        PickMarks::moveEdge(edge.line.get(), m_points[last - 1], point, m_groupOrigin);
        if (edge.label.valid())
            PickMarks::moveDistanceLabel(edge.label.get(), m_points[last - 1], point, m_groupOrigin);
    }
}

void PolygonCapture::captureMeasure(const osg::Vec3d& point)
{
    if (m_points.empty())
        start(point);
    else
        append(point, true);
}

void PolygonCapture::fixLast()
{
    if (m_points.empty() || m_fixed.back())
        return;
    m_fixed.back() = true;
    replaceSphere(m_points.size() - 1, true);
}

void PolygonCapture::clear()
{
    if (m_sphereGroup.valid())
        m_root->removeChild(m_sphereGroup.get());
    if (m_lineGroup.valid())
        m_root->removeChild(m_lineGroup.get());
    m_sphereGroup = nullptr;
    m_lineGroup = nullptr;
    m_points.clear();
    m_fixed.clear();
    m_spheres.clear();
    m_edges.clear();
}
