#pragma once

#include <osg/Geode>
#include <osg/Vec3>
#include <osg/ref_ptr>

#include <QString>

// The marks the picking controller draws: spheres on picked points (red while
// a point may still move, green once fixed), red edges between them and the
// edge lengths as screen-aligned labels.
class PickMarks
{
public:
    static constexpr float sphereRadius = 0.03f;

    static osg::ref_ptr<osg::Geode> sphere(const osg::Vec3& centre, bool fixed);
    static osg::ref_ptr<osg::Geode> edge(const osg::Vec3& from, const osg::Vec3& to);
    // Moves an edge made by edge() to new end points.
    static void moveEdge(osg::Geode* edge, const osg::Vec3& from, const osg::Vec3& to);
    static osg::ref_ptr<osg::Geode> distanceLabel(const osg::Vec3& from, const osg::Vec3& to);
    static void moveDistanceLabel(osg::Geode* label, const osg::Vec3& from, const osg::Vec3& to);
    // The label of a length: up to six significant digits and "m".
    static QString distanceText(double length);
};
