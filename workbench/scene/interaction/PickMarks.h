#pragma once

#include <osg/Geode>
#include <osg/Group>
#include <osg/Vec3d>
#include <osg/ref_ptr>

#include <QString>

// The marks the picking controller draws: spheres on picked points (red while
// a point may still move, green once fixed), red edges between them and the
// edge lengths as screen-aligned labels. Positions are world coordinates in
// double; a mark's geometry lies relative to the origin of the group that
// holds it (the scene origin at survey coordinates, else the true origin),
// so it is drawn where it belongs to the millimetre.
class PickMarks
{
public:
    static constexpr float sphereRadius = 0.03f;

    static osg::ref_ptr<osg::Geode> sphere(const osg::Vec3d& centre, bool fixed,
                                           const osg::Vec3d& origin = osg::Vec3d());
    static osg::ref_ptr<osg::Geode> edge(const osg::Vec3d& from, const osg::Vec3d& to,
                                         const osg::Vec3d& origin = osg::Vec3d());
    // Moves an edge made by edge() to new end points.
    static void moveEdge(osg::Geode* edge, const osg::Vec3d& from, const osg::Vec3d& to,
                         const osg::Vec3d& origin = osg::Vec3d());
    static osg::ref_ptr<osg::Geode> distanceLabel(const osg::Vec3d& from, const osg::Vec3d& to,
                                                  const osg::Vec3d& origin = osg::Vec3d());
    static void moveDistanceLabel(osg::Geode* label, const osg::Vec3d& from, const osg::Vec3d& to,
                                  const osg::Vec3d& origin = osg::Vec3d());
    // The label of a length: up to six significant digits, never coarser than
    // a millimetre, and "m".
    static QString distanceText(double length);

    // A group for marks around origin: a transform adding it back, or a plain
    // group at the true origin.
    static osg::ref_ptr<osg::Group> groupAt(const osg::Vec3d& origin);
    // node itself at the true origin, else node under a transform to origin.
    static osg::ref_ptr<osg::Node> placed(osg::Node* node, const osg::Vec3d& origin);
    // The origin of a group made by groupAt.
    static osg::Vec3d originOf(const osg::Group* group);
};
