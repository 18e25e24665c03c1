#pragma once

#include "ArchivePoint.h"

#include <osg/BoundingBox>
#include <osg/Node>
#include <osg/Vec3d>
#include <osg/ref_ptr>

#include <atomic>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace osgDB
{
class Archive;
}

// Builds the level-of-detail tree of a spooled cloud into an archive. Every
// node of the octree with more than leafPoints points is an osg::PagedLOD
// that shows one point per cell of a sampleGrid³ grid until it is large on
// screen, and then pages in the file of its children; the other nodes are
// leaves that hold all their points. So the leaves together hold every input
// point once. Nodes larger than memoryPoints are split on disk first; what is
// held in memory at any time is one such node plus the samples above it.
//
// Every node keeps its points as floats relative to the centre of its own
// cube (a leaf: of its own points), so their precision depends on the node's
// size only (a leaf a few
// metres wide keeps far below a millimetre, wherever the cloud lies and
// however far an outlier stands from it). A child stands under a transform
// that moves it from its parent's centre to its own (in doubles).
//
// Archive layout: "root.osgb" (written first, so the archive names it as its
// master file) holds a transform to the root cube's centre, carrying the user
// values "pointCount", "boundsMin" and "boundsMax" (survey coordinates),
// above the root node; "r<octants>.osgb" holds the children of node
// r<octants> (the root is "r", its third child "r2", ...), each under its
// transform.
class OctreeBuilder
{
public:
    struct Settings {
        long long leafPoints = 16384;
        int sampleGrid = 64;
        long long memoryPoints = 2ll << 20; // 64 MB of points
        // A node's children are paged in when its sample's points would lie
        // this many pixels apart on screen (at level-of-detail scale 1).
        double pixelSpacing = 1.5;
        int maxDepth = 24;
        // Subtrees of the root are built side by side on this many threads
        // (each holds up to memoryPoints); writing into the archive is one at a time.
        int threads = 2;
        // Set from outside (a signal): the build gives up at its next step.
        const std::atomic<bool>* stop = nullptr;
    };

    struct Stats {
        long long nodes = 0; // paged nodes
        long long leaves = 0;
        long long files = 0;  // files written into the archive
        long long points = 0; // points placed in leaves
        int depth = 0;
    };

    // progress receives a line now and then.
    OctreeBuilder(osgDB::Archive& archive, const Settings& settings,
                  std::function<void(const std::string&)> progress = {});

    // Builds the tree of the count points spooled at spoolPath (all inside
    // bounds). The spool and the pieces made from it are deleted as they
    // are used, and all of them after a failure.
    bool build(const std::string& spoolPath, long long count, const osg::BoundingBoxd& bounds,
               std::string& error);

    const Stats& stats() const { return m_stats; }

    // The cube the tree divides: centred on bounds, as wide as its widest side.
    struct Cube {
        osg::Vec3d centre;
        double half = 0.5;
        Cube child(int octant) const;
    };
    static Cube cubeAround(const osg::BoundingBoxd& bounds);
    static int octantOf(const ArchivePoint& point, const Cube& cube);

    // One point per cell of a grid³ over the cube, the first in order.
    static std::vector<ArchivePoint> gridSample(const ArchivePoint* begin, const ArchivePoint* end,
                                                const Cube& cube, int grid);

private:
    class Sampler;

    osg::ref_ptr<osg::Node> buildSpooled(const std::string& spoolPath, long long count,
                                         const osg::BoundingBoxd& bounds, const Cube& cube,
                                         const std::string& name, int depth, std::string& error);
    osg::ref_ptr<osg::Node> buildInMemory(ArchivePoint* begin, ArchivePoint* end, const Cube& cube,
                                          const std::string& name, int depth, std::string& error);
    // The points as floats relative to centre.
    static osg::ref_ptr<osg::Node> makeLeaf(const ArchivePoint* begin, const ArchivePoint* end,
                                            const osg::Vec3d& centre);
    // A leaf of the cube: its points around their own middle, placed in the cube's frame.
    static osg::ref_ptr<osg::Node> makeLeafNode(const ArchivePoint* begin, const ArchivePoint* end,
                                                const Cube& cube);
    osg::ref_ptr<osg::Node> makePagedNode(const std::vector<ArchivePoint>& sample,
                                          const osg::BoundingBoxd& bounds, const Cube& cube,
                                          const std::string& name, int depth);
    // A child node, built around its own centre, placed in its parent's frame.
    static osg::ref_ptr<osg::Node> placed(osg::Node* child, const Cube& childCube, const Cube& parentCube);
    bool stopped(std::string& error) const;
    // The first node made is the root: it goes into the archive at once.
    bool placeRoot(osg::Node* node, std::string& error);
    bool write(osg::Node& node, const std::string& fileName, std::string& error);
    // Builds the children of the cube that build() makes for the given
    // octants in their own cubes (the octant's, or the whole cube when the
    // points are split by count), in octant order, near the root on several
    // threads; places them in the cube's frame and writes them as the file
    // name.osgb. False with the first error.
    bool buildChildren(
        const std::vector<int>& octants, int depth, const Cube& cube, bool byPosition,
        const std::string& name,
        const std::function<osg::ref_ptr<osg::Node>(int octant, const Cube& childCube, std::string&)>& build,
        std::string& error);
    void reportPlaced(long long points);
    void removeSpool(const std::string& path);

    osgDB::Archive& m_archive;
    Settings m_settings;
    std::function<void(const std::string&)> m_progress;
    Stats m_stats;
    long long m_total = 0;
    int m_reportedPercent = 0;
    bool m_rootPlaced = false;
    osg::Vec3d m_rootCentre;
    osg::BoundingBoxd m_bounds;
    std::set<std::string> m_spools; // pieces on disk not yet built
    std::mutex m_archiveLock;       // one write into the archive at a time
    std::mutex m_stateLock;         // the figures, the spools, the progress
};
