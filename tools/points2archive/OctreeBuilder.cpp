#include "OctreeBuilder.h"

#include "PointSpool.h"

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/MatrixTransform>
#include <osg/PagedLOD>
#include <osg/ValueObject>
#include <osgDB/Archive>

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <memory>
#include <thread>

// Keeps the first point that falls into each cell of a grid³ over a cube.
class OctreeBuilder::Sampler
{
public:
    Sampler(const Cube& cube, int grid)
        : m_grid(grid), m_bits((size_t(grid) * size_t(grid) * size_t(grid) + 63) / 64, 0),
          m_low(cube.centre - osg::Vec3d(cube.half, cube.half, cube.half)), m_scale(grid / (2.0 * cube.half))
    {
    }

    void add(const ArchivePoint& point)
    {
        const size_t cell =
            (size_t(index(point.z, m_low.z())) * size_t(m_grid) + size_t(index(point.y, m_low.y()))) *
                size_t(m_grid) +
            size_t(index(point.x, m_low.x()));
        std::uint64_t& word = m_bits[cell / 64];
        const std::uint64_t bit = std::uint64_t(1) << (cell % 64);
        if (word & bit)
            return;
        word |= bit;
        m_sample.push_back(point);
    }

    std::vector<ArchivePoint>& sample() { return m_sample; }

private:
    int index(double value, double low) const
    {
        const int i = int((value - low) * m_scale);
        return i < 0 ? 0 : i >= m_grid ? m_grid - 1 : i;
    }

    int m_grid;
    std::vector<std::uint64_t> m_bits;
    osg::Vec3d m_low;
    double m_scale;
    std::vector<ArchivePoint> m_sample;
};

namespace
{

void grow(osg::BoundingBoxd& box, const ArchivePoint& p)
{
    box.expandBy(p.x, p.y, p.z);
}

bool hasExtent(const osg::BoundingBoxd& box)
{
    return box.xMax() > box.xMin() || box.yMax() > box.yMin() || box.zMax() > box.zMin();
}

std::string spoolName(const std::string& base, int octant)
{
    return base + char('0' + octant);
}

} // namespace

OctreeBuilder::Cube OctreeBuilder::Cube::child(int octant) const
{
    const double q = half / 2.0;
    Cube c;
    c.half = q;
    c.centre = centre + osg::Vec3d(octant & 1 ? q : -q, octant & 2 ? q : -q, octant & 4 ? q : -q);
    return c;
}

OctreeBuilder::Cube OctreeBuilder::cubeAround(const osg::BoundingBoxd& bounds)
{
    Cube cube;
    cube.centre = bounds.center();
    const double widest = std::max(
        {bounds.xMax() - bounds.xMin(), bounds.yMax() - bounds.yMin(), bounds.zMax() - bounds.zMin()});
    // A little wider than the points, so none lies on the far faces; a cloud
    // of one position still gets a cube.
    cube.half = widest > 0 ? widest * 0.5 * 1.0001 : 0.5;
    return cube;
}

int OctreeBuilder::octantOf(const ArchivePoint& point, const Cube& cube)
{
    return (point.x >= cube.centre.x() ? 1 : 0) | (point.y >= cube.centre.y() ? 2 : 0) |
           (point.z >= cube.centre.z() ? 4 : 0);
}

std::vector<ArchivePoint> OctreeBuilder::gridSample(const ArchivePoint* begin, const ArchivePoint* end,
                                                    const Cube& cube, int grid)
{
    Sampler sampler(cube, grid);
    for (const ArchivePoint* p = begin; p != end; ++p)
        sampler.add(*p);
    return std::move(sampler.sample());
}

OctreeBuilder::OctreeBuilder(osgDB::Archive& archive, const Settings& settings,
                             std::function<void(const std::string&)> progress)
    : m_archive(archive), m_settings(settings), m_progress(std::move(progress))
{
    m_settings.leafPoints = std::max(1ll, m_settings.leafPoints);
    m_settings.memoryPoints = std::max(m_settings.leafPoints, m_settings.memoryPoints);
    m_settings.sampleGrid = std::clamp(m_settings.sampleGrid, 2, 1024);
}

bool OctreeBuilder::build(const std::string& spoolPath, long long count, const osg::BoundingBoxd& bounds,
                          std::string& error)
{
    m_stats = Stats();
    m_total = count;
    m_reportedPercent = 0;
    m_rootPlaced = false;
    const Cube cube = cubeAround(bounds);
    m_rootCentre = cube.centre;
    m_bounds = bounds;
    m_spools = {spoolPath};
    const osg::ref_ptr<osg::Node> root = buildSpooled(spoolPath, count, bounds, cube, "r", 0, error);
    // After a failure the pieces not yet built are left; they go too.
    for (const std::string& spool : m_spools)
        std::remove(spool.c_str());
    m_spools.clear();
    return root.valid();
}

bool OctreeBuilder::stopped(std::string& error) const
{
    if (!m_settings.stop || !*m_settings.stop)
        return false;
    error = "stopped";
    return true;
}

osg::ref_ptr<osg::Node> OctreeBuilder::placed(osg::Node* child, const Cube& childCube, const Cube& parentCube)
{
    const osg::Vec3d offset = childCube.centre - parentCube.centre;
    if (offset == osg::Vec3d())
        return child;
    osg::ref_ptr<osg::MatrixTransform> transform = new osg::MatrixTransform(osg::Matrixd::translate(offset));
    transform->addChild(child);
    return transform;
}

void OctreeBuilder::removeSpool(const std::string& path)
{
    std::remove(path.c_str());
    std::lock_guard<std::mutex> lock(m_stateLock);
    m_spools.erase(path);
}

bool OctreeBuilder::buildChildren(
    const std::vector<int>& octants, int depth, const Cube& cube, bool byPosition, const std::string& name,
    const std::function<osg::ref_ptr<osg::Node>(int octant, const Cube& childCube, std::string&)>& build,
    std::string& error)
{
    std::vector<osg::ref_ptr<osg::Node>> built(octants.size());
    std::vector<std::string> errors(octants.size());
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    const auto work = [&] {
        for (size_t i; !failed && (i = next++) < octants.size();) {
            const Cube childCube = byPosition ? cube.child(octants[i]) : cube;
            osg::ref_ptr<osg::Node> child = build(octants[i], childCube, errors[i]);
            if (child)
                built[i] = placed(child.get(), childCube, cube);
            if (!built[i])
                failed = true;
        }
    };
    // The children of the root are the large subtrees; below them one
    // thread each is enough.
    const int threads = depth == 0 ? std::clamp(m_settings.threads, 1, int(octants.size())) : 1;
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads; ++t)
        helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers)
        helper.join();
    osg::ref_ptr<osg::Group> children = new osg::Group;
    for (size_t i = 0; i < octants.size(); ++i) {
        if (!built[i]) {
            error = errors[i].empty() ? "a subtree was not built" : errors[i];
            return false;
        }
        children->addChild(built[i].get());
    }
    return write(*children, name + ".osgb", error);
}

bool OctreeBuilder::write(osg::Node& node, const std::string& fileName, std::string& error)
{
    std::lock_guard<std::mutex> lock(m_archiveLock);
    const osgDB::ReaderWriter::WriteResult result = m_archive.writeNode(node, fileName);
    if (!result.success()) {
        error = "cannot write " + fileName + " into the archive" +
                (result.message().empty() ? std::string() : ": " + result.message());
        return false;
    }
    std::lock_guard<std::mutex> state(m_stateLock);
    ++m_stats.files;
    return true;
}

bool OctreeBuilder::placeRoot(osg::Node* node, std::string& error)
{
    osg::ref_ptr<osg::MatrixTransform> top = new osg::MatrixTransform(osg::Matrixd::translate(m_rootCentre));
    top->setName("Points2Archive");
    top->setUserValue("pointCount", double(m_total));
    top->setUserValue("boundsMin", m_bounds._min);
    top->setUserValue("boundsMax", m_bounds._max);
    top->addChild(node);
    m_rootPlaced = true;
    return write(*top, "root.osgb", error);
}

void OctreeBuilder::reportPlaced(long long points)
{
    std::lock_guard<std::mutex> lock(m_stateLock);
    m_stats.points += points;
    if (!m_progress || m_total <= 0)
        return;
    const int percent = int(m_stats.points * 100 / m_total);
    if (percent >= m_reportedPercent + 10 || (percent == 100 && m_reportedPercent < 100)) {
        m_reportedPercent = percent - percent % 10;
        m_progress("placed " + std::to_string(m_stats.points) + " of " + std::to_string(m_total) +
                   " points (" + std::to_string(percent) + "%)");
    }
}

osg::ref_ptr<osg::Node> OctreeBuilder::makeLeaf(const ArchivePoint* begin, const ArchivePoint* end,
                                                const osg::Vec3d& centre)
{
    const size_t n = size_t(end - begin);
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array(n);
    osg::ref_ptr<osg::Vec4ubArray> colours = new osg::Vec4ubArray(n);
    colours->setNormalize(true);
    for (size_t i = 0; i < n; ++i) {
        (*vertices)[i].set(float(begin[i].x - centre.x()), float(begin[i].y - centre.y()),
                           float(begin[i].z - centre.z()));
        (*colours)[i].set(begin[i].rgba[0], begin[i].rgba[1], begin[i].rgba[2], begin[i].rgba[3]);
    }
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setUseDisplayList(false);
    geometry->setUseVertexBufferObjects(true);
    geometry->setVertexArray(vertices.get());
    geometry->setColorArray(colours.get(), osg::Array::BIND_PER_VERTEX);
    geometry->addPrimitiveSet(new osg::DrawArrays(GL_POINTS, 0, GLsizei(n)));
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(geometry.get());
    return geode;
}

osg::ref_ptr<osg::Node> OctreeBuilder::makeLeafNode(const ArchivePoint* begin, const ArchivePoint* end,
                                                    const Cube& cube)
{
    // Around the middle of its own points: a lone outlier in a cube
    // kilometres wide keeps its digits too.
    osg::BoundingBoxd bounds;
    for (const ArchivePoint* p = begin; p != end; ++p)
        grow(bounds, *p);
    Cube own;
    own.centre = bounds.center();
    return placed(makeLeaf(begin, end, own.centre).get(), own, cube);
}

osg::ref_ptr<osg::Node> OctreeBuilder::makePagedNode(const std::vector<ArchivePoint>& sample,
                                                     const osg::BoundingBoxd& bounds, const Cube& cube,
                                                     const std::string& name, int depth)
{
    osg::ref_ptr<osg::Node> coarse = makeLeaf(sample.data(), sample.data() + sample.size(), cube.centre);
    osg::ref_ptr<osg::PagedLOD> node = new osg::PagedLOD;
    node->setRangeMode(osg::LOD::PIXEL_SIZE_ON_SCREEN);
    node->setCenterMode(osg::LOD::USER_DEFINED_CENTER);
    node->setCenter(osg::Vec3(bounds.center() - cube.centre));
    const float radius = std::max(float(bounds.radius()), 1e-6f);
    node->setRadius(radius);
    // The sample's points stand 2·half/grid apart; on screen that distance is
    // the node's pixel size times its share of the node's diameter.
    const double switchPixels = m_settings.pixelSpacing * m_settings.sampleGrid * radius / cube.half;
    node->addChild(coarse.get(), 0.0f, float(switchPixels));
    node->setFileName(1, name + ".osgb");
    node->setRange(1, float(switchPixels), FLT_MAX);
    std::lock_guard<std::mutex> lock(m_stateLock);
    ++m_stats.nodes;
    m_stats.depth = std::max(m_stats.depth, depth);
    return node;
}

osg::ref_ptr<osg::Node> OctreeBuilder::buildInMemory(ArchivePoint* begin, ArchivePoint* end, const Cube& cube,
                                                     const std::string& name, int depth, std::string& error)
{
    if (stopped(error))
        return nullptr;
    const long long n = end - begin;
    if (n <= m_settings.leafPoints) {
        osg::ref_ptr<osg::Node> leaf = makeLeafNode(begin, end, cube);
        {
            std::lock_guard<std::mutex> lock(m_stateLock);
            ++m_stats.leaves;
            m_stats.depth = std::max(m_stats.depth, depth);
        }
        if (depth == 0 && !placeRoot(leaf.get(), error))
            return nullptr;
        reportPlaced(n);
        return leaf;
    }

    osg::BoundingBoxd bounds;
    for (const ArchivePoint* p = begin; p != end; ++p)
        grow(bounds, *p);
    osg::ref_ptr<osg::Node> node =
        makePagedNode(gridSample(begin, end, cube, m_settings.sampleGrid), bounds, cube, name, depth);
    if (depth == 0 && !placeRoot(node.get(), error))
        return nullptr;

    // Octants in place; below the deepest level, or when all points share
    // one position, space cannot part them and they are dealt out in eight
    // runs instead.
    ArchivePoint* parts[9];
    parts[0] = begin;
    parts[8] = end;
    const bool byPosition = depth < m_settings.maxDepth && hasExtent(bounds);
    if (byPosition) {
        const osg::Vec3d c = cube.centre;
        ArchivePoint* zSplit = std::partition(begin, end, [&](const ArchivePoint& p) { return p.z < c.z(); });
        ArchivePoint* ySplits[2] = {
            std::partition(begin, zSplit, [&](const ArchivePoint& p) { return p.y < c.y(); }),
            std::partition(zSplit, end, [&](const ArchivePoint& p) { return p.y < c.y(); })};
        parts[4] = zSplit;
        parts[2] = ySplits[0];
        parts[6] = ySplits[1];
        for (int k = 0; k < 8; k += 2)
            parts[k + 1] =
                std::partition(parts[k], parts[k + 2], [&](const ArchivePoint& p) { return p.x < c.x(); });
    } else {
        for (int k = 1; k < 8; ++k)
            parts[k] = begin + n * k / 8;
    }

    std::vector<int> octants;
    for (int octant = 0; octant < 8; ++octant)
        if (parts[octant] != parts[octant + 1])
            octants.push_back(octant);
    const auto buildOctant = [&](int octant, const Cube& childCube, std::string& why) {
        return buildInMemory(parts[octant], parts[octant + 1], childCube, name + char('0' + octant),
                             depth + 1, why);
    };
    if (!buildChildren(octants, depth, cube, byPosition, name, buildOctant, error))
        return nullptr;
    return node;
}

osg::ref_ptr<osg::Node> OctreeBuilder::buildSpooled(const std::string& spoolPath, long long count,
                                                    const osg::BoundingBoxd& bounds, const Cube& cube,
                                                    const std::string& name, int depth, std::string& error)
{
    if (stopped(error))
        return nullptr;
    PointSpool input;
    if (!input.openForReading(spoolPath, error))
        return nullptr;

    if (count <= m_settings.memoryPoints) {
        std::vector<ArchivePoint> points(static_cast<size_t>(count));
        const size_t got = input.read(points.data(), points.size(), error);
        input.close(error);
        removeSpool(spoolPath);
        if (got != points.size()) {
            if (error.empty())
                error = spoolPath + " ends early";
            return nullptr;
        }
        return buildInMemory(points.data(), points.data() + points.size(), cube, name, depth, error);
    }

    // Too many to hold: one pass samples the node and deals its points out
    // to eight pieces on disk, which are built one after the other.
    Sampler sampler(cube, m_settings.sampleGrid);
    osg::BoundingBoxd pieceBounds[8];
    std::unique_ptr<PointSpool> pieces[8];
    const bool byPosition = depth < m_settings.maxDepth && hasExtent(bounds);
    std::vector<ArchivePoint> block(PointSpool::bufferBytes / sizeof(ArchivePoint));
    std::vector<ArchivePoint> dealt[8];
    long long seen = 0;
    for (;;) {
        const size_t n = input.read(block.data(), block.size(), error);
        if (!error.empty() || stopped(error))
            return nullptr;
        if (n == 0)
            break;
        for (auto& d : dealt)
            d.clear();
        for (size_t i = 0; i < n; ++i) {
            const ArchivePoint& p = block[i];
            sampler.add(p);
            const int octant = byPosition ? octantOf(p, cube) : int((seen + static_cast<long long>(i)) % 8);
            dealt[octant].push_back(p);
            grow(pieceBounds[octant], p);
        }
        seen += static_cast<long long>(n);
        for (int octant = 0; octant < 8; ++octant) {
            if (dealt[octant].empty())
                continue;
            if (!pieces[octant]) {
                pieces[octant] = std::make_unique<PointSpool>();
                {
                    std::lock_guard<std::mutex> lock(m_stateLock);
                    m_spools.insert(spoolName(spoolPath, octant));
                }
                if (!pieces[octant]->create(spoolName(spoolPath, octant), error))
                    return nullptr;
            }
            if (!pieces[octant]->append(dealt[octant].data(), dealt[octant].size(), error))
                return nullptr;
        }
    }
    input.close(error);
    if (seen != count) {
        error = spoolPath + " holds " + std::to_string(seen) + " points, not " + std::to_string(count);
        return nullptr;
    }
    long long pieceCounts[8] = {};
    for (int octant = 0; octant < 8; ++octant)
        if (pieces[octant]) {
            pieceCounts[octant] = pieces[octant]->count();
            if (!pieces[octant]->close(error))
                return nullptr;
            pieces[octant].reset();
        }
    removeSpool(spoolPath);

    osg::ref_ptr<osg::Node> node = makePagedNode(sampler.sample(), bounds, cube, name, depth);
    if (depth == 0 && !placeRoot(node.get(), error))
        return nullptr;
    std::vector<int> octants;
    for (int octant = 0; octant < 8; ++octant)
        if (pieceCounts[octant] > 0)
            octants.push_back(octant);
    const auto buildOctant = [&](int octant, const Cube& childCube, std::string& why) {
        return buildSpooled(spoolName(spoolPath, octant), pieceCounts[octant], pieceBounds[octant], childCube,
                            name + char('0' + octant), depth + 1, why);
    };
    if (!buildChildren(octants, depth, cube, byPosition, name, buildOctant, error))
        return nullptr;
    return node;
}
