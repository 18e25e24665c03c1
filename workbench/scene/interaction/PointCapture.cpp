#include "scene/interaction/PointCapture.h"

#include "scene/interaction/PickMarks.h"

PointCapture::PointCapture(osg::Group* root) : m_root(root), m_group(new osg::Group) {}

void PointCapture::capture(const osg::Vec3d& point)
{
    if (m_points.empty()) {
        m_points.push_back(point);
        m_fixed.push_back(false);
        m_groupOrigin = m_origin;
        m_geodes.push_back(PickMarks::sphere(point, false, m_groupOrigin));
        m_group = PickMarks::groupAt(m_groupOrigin);
        m_group->addChild(m_geodes.back().get());
        m_root->addChild(m_group.get());
        return;
    }
    if (m_fixed.back())
        return;
    m_points.back() = point;
    osg::ref_ptr<osg::Geode> sphere = PickMarks::sphere(point, false, m_groupOrigin);
    m_group->replaceChild(m_geodes.back().get(), sphere.get());
    m_geodes.back() = sphere;
}

void PointCapture::fixLast()
{
    if (m_points.empty() || m_fixed.back())
        return;
    m_fixed.back() = true;
    osg::ref_ptr<osg::Geode> sphere = PickMarks::sphere(m_points.back(), true, m_groupOrigin);
    m_group->replaceChild(m_geodes.back().get(), sphere.get());
    m_geodes.back() = sphere;
}

void PointCapture::clear()
{
    m_root->removeChild(m_group.get());
    m_points.clear();
    m_fixed.clear();
    m_geodes.clear();
    m_group = new osg::Group;
}
