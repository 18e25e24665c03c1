#pragma once

#include <osg/Geode>
#include <osg/Group>
#include <osg/Vec3d>
#include <osg/ref_ptr>

#include <vector>

// The single picked point of point input (or a position from the ground
// station): one red sphere that follows every new pick until it is fixed.
// Points are world coordinates in double; the sphere lies relative to the
// scene origin given when its group was made.
class PointCapture
{
public:
    explicit PointCapture(osg::Group* root);

    void capture(const osg::Vec3d& point);
    // A fixed point stays where it is; later picks leave it alone.
    void fixLast();
    // Removes the sphere from the scene and forgets the point.
    void clear();
    // The origin the next capture's group is placed at.
    void setOrigin(const osg::Vec3d& origin) { m_origin = origin; }

    const std::vector<osg::Vec3d>& points() const { return m_points; }
    const std::vector<bool>& fixedFlags() const { return m_fixed; }
    osg::Group* group() const { return m_group.get(); }

private:
    osg::ref_ptr<osg::Group> m_root;
    osg::Vec3d m_origin;
    osg::Vec3d m_groupOrigin;
    std::vector<osg::Vec3d> m_points;
    std::vector<bool> m_fixed;
    std::vector<osg::ref_ptr<osg::Geode>> m_geodes;
    osg::ref_ptr<osg::Group> m_group;
};
