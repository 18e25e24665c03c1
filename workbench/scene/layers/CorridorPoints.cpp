#include "scene/layers/CorridorPoints.h"

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/NodeVisitor>
#include <osg/Transform>

#include <cmath>

namespace
{

class Collector : public osg::NodeVisitor
{
public:
    Collector(double x0, double y0, double x1, double y1, double width, size_t maxPoints)
        : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN), m_x0(x0), m_y0(y0), m_half(width / 2), m_max(maxPoints)
    {
        m_length = std::hypot(x1 - x0, y1 - y0);
        m_ux = m_length > 0 ? (x1 - x0) / m_length : 1;
        m_uy = m_length > 0 ? (y1 - y0) / m_length : 0;
    }

    void apply(osg::Transform& transform) override
    {
        osg::Matrixd m = m_matrix;
        transform.computeLocalToWorldMatrix(m_matrix, this);
        traverse(transform);
        m_matrix = m;
    }

    void apply(osg::Drawable& drawable) override
    {
        const osg::Geometry* g = drawable.asGeometry();
        const auto* v = g ? dynamic_cast<const osg::Vec3Array*>(g->getVertexArray()) : nullptr;
        if (!v)
            return;
        for (const osg::Vec3& p : *v) {
            const osg::Vec3d w = osg::Vec3d(p) * m_matrix;
            const double px = w.x() - m_x0, py = w.y() - m_y0;
            const double along = px * m_ux + py * m_uy, across = -px * m_uy + py * m_ux;
            if (along < 0 || along > m_length || std::fabs(across) > m_half)
                continue;
            if (points.size() / 3 >= m_max) {
                ++skipped;
                continue;
            }
            points.insert(points.end(), {w.x(), w.y(), w.z()});
        }
    }

    std::vector<double> points;
    size_t skipped = 0;

private:
    osg::Matrixd m_matrix;
    double m_x0, m_y0, m_half, m_length, m_ux, m_uy;
    size_t m_max;
};

} // namespace

std::vector<double> CorridorPoints::collect(const std::vector<osg::ref_ptr<osg::Node>>& clouds, double x0,
                                            double y0, double x1, double y1, double width, size_t maxPoints,
                                            size_t* skipped)
{
    Collector c(x0, y0, x1, y1, width, maxPoints);
    for (const auto& cloud : clouds)
        if (cloud && cloud->getNodeMask() != 0)
            cloud->accept(c);
    if (skipped)
        *skipped = c.skipped;
    return std::move(c.points);
}
