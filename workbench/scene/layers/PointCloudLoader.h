#pragma once

#include <osg/Array>
#include <osg/Group>
#include <osg/StateSet>
#include <osg/ref_ptr>

#include <QString>

#include "core/formats/PointShift.h"
#include "core/formats/SceneOrigin.h"

// Builds the scene group of one point cloud file, choosing the reader by the
// file's own name (not its folders): ASCII PLY and ".patch" through the PLY reader, ".xyb", ".pts"
// (with its georeference companion), ".osga" paged archives, and anything
// else through the scene-graph library. A result of the dense stage (and
// what was converted from it beside it) is placed by its reconstruction's
// georeference, where the reconstruction itself stands. The scene view appends the group to
// its point clouds and the root. A cloud at large (survey) coordinates keeps
// its points as floats relative to the scene origin; its group is then a
// transform that adds the origin back.
class PointCloudLoader
{
public:
    struct Result {
        // Lighting off with override; never null, even when nothing was read.
        // An osg::MatrixTransform translating by shift.offset() when the
        // points are stored relative to it.
        osg::ref_ptr<osg::Group> group;
        // What the points are stored relative to, and the scene origin the
        // cloud chose when the scene had none.
        PointShift shift;
        // A paged archive was read: the view switches its level-of-detail
        // control on and does not apply the visible flag.
        bool archive = false;
        // Points or a node were added under the group.
        bool loaded = false;
        // The georeference companion that placed a result of the dense stage
        // (its reconstruction's sparse.txt); empty when none did.
        QString georeference;
        // Why nothing (or not everything) was read: the reader's words, with
        // the file and, for text formats, the line.
        QString message;
    };

    static Result loadPointCloud(const QString& fileName, const SceneOrigin& origin = SceneOrigin());

    // Puts a cloud group's children under a transform by offset (the group
    // itself when offset is zero), keeping its state.
    static osg::ref_ptr<osg::Group> placeAt(osg::Group* group, const osg::Vec3d& offset);
    // What a cloud's points are stored relative to: the translation of its
    // group when that is a transform, else zero.
    static osg::Vec3d offsetOf(const osg::Node* cloud);

    // Whether a cloud's group holds a paged archive.
    static bool isArchive(const osg::Node* cloud);

    // Paged archives: lighting off (override), blending, transparent bin,
    // points of size 1..100 attenuated by distance, polygons drawn as points.
    static osg::ref_ptr<osg::StateSet> makeArchiveStateSet();

    // The cloud's arrays as exportPointCloud writes them: the first child of
    // the group (a geode), its first drawable's vertex and colour arrays.
    // False when the cloud has no such arrays (archives, empty clouds).
    static bool extractArrays(const osg::Group* cloud, osg::ref_ptr<osg::Vec3Array>& vertices,
                              osg::ref_ptr<osg::Vec4Array>& colours);

    // Writes the cloud's arrays with the PLY writer, in world coordinates.
    // Refuses names that do not end in ".ply", so the export cannot turn a
    // PTS or XYB source into PLY text.
    static bool exportPointCloud(const QString& fileName, const osg::Group* cloud,
                                 QString* message = nullptr);
};
