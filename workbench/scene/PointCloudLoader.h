#pragma once

#include <osg/Array>
#include <osg/Group>
#include <osg/StateSet>
#include <osg/ref_ptr>

#include <QString>

// Builds the scene group of one point cloud file, choosing the reader by the
// file's own name (not its folders): ASCII PLY and ".patch" through the PLY reader, ".xyb", ".pts"
// (with its georeference companion), ".osga" paged archives, and anything
// else through the scene-graph library. The scene view appends the group to
// its point clouds and the root.
class PointCloudLoader
{
public:
    struct Result {
        // Lighting off with override; never null, even when nothing was read.
        osg::ref_ptr<osg::Group> group;
        // A paged archive was read: the view switches its level-of-detail
        // control on and does not apply the visible flag.
        bool archive = false;
        // Points or a node were added under the group.
        bool loaded = false;
        // Why nothing (or not everything) was read: the reader's words, with
        // the file and, for text formats, the line.
        QString message;
    };

    static Result loadPointCloud(const QString& fileName);

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

    // Writes the cloud's arrays with the PLY writer. Refuses names that do not
    // end in ".ply", so the export cannot turn a PTS or XYB source into PLY text.
    static bool exportPointCloud(const QString& fileName, const osg::Group* cloud,
                                 QString* message = nullptr);
};
