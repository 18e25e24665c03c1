#pragma once

#include <osg/Geode>
#include <osg/Group>
#include <osg/Vec3>
#include <osg/ref_ptr>

#include <vector>

// The single picked point of point input (or a position from the ground
// station): one red sphere that follows every new pick until it is fixed.
class PointCapture
{
public:
    explicit PointCapture(osg::Group* root);

    void capture(const osg::Vec3& point);
    // A fixed point stays where it is; later picks leave it alone.
    void fixLast();
    // Removes the sphere from the scene and forgets the point.
    void clear();

    const std::vector<osg::Vec3>& points() const { return m_points; }
    const std::vector<bool>& fixedFlags() const { return m_fixed; }
    osg::Group* group() const { return m_group.get(); }

private:
    osg::ref_ptr<osg::Group> m_root;
    std::vector<osg::Vec3> m_points;
    std::vector<bool> m_fixed;
    std::vector<osg::ref_ptr<osg::Geode>> m_geodes;
    osg::ref_ptr<osg::Group> m_group;
};
