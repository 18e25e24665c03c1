#include "scene/layers/PointCloudLoader.h"

#include "core/formats/PlyReader.h"
#include "core/formats/PlyWriter.h"
#include "core/formats/PtsReader.h"
#include "core/formats/XybReader.h"
#include "core/georef/GeoReference.h"
#include "core/georef/ProductGeoReference.h"
#include "core/georef/PtsGeoReference.h"
#include "core/log/LogLine.h"
#include "scene/layers/BundleSceneBuilder.h"
#include "scene/layers/FullDetailCulling.h"
#include "scene/layers/PointGeometry.h"
#include "scene/layers/VertexShifter.h"

#include <osg/BlendFunc>
#include <osg/Geode>
#include <osg/Geometry>
#include <osg/MatrixTransform>
#include <osg/NodeVisitor>
#include <osg/Point>
#include <osg/PolygonMode>
#include <osg/ValueObject>
#include <osgDB/ReadFile>

#include <QFileInfo>

#include <algorithm>
#include <vector>

namespace
{

// Scene-graph readers return display-listed geometry; points are streamed.
class StreamingBuffersVisitor : public osg::NodeVisitor
{
public:
    StreamingBuffersVisitor() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN) {}
    void apply(osg::Geode& geode) override
    {
        for (unsigned i = 0; i < geode.getNumDrawables(); ++i)
            if (osg::Geometry* geometry = geode.getDrawable(i)->asGeometry())
                PointGeometry::useStreamingBuffers(geometry);
        traverse(geode);
    }
};

bool addPointGeode(osg::Group* group, osg::Vec3Array* vertices, osg::Vec4Array* colours, bool pointsRead)
{
    if (!pointsRead)
        return false;
    group->addChild(PointGeometry::makeGeode(vertices, colours));
    return true;
}

// A cloud in its reconstruction's frame: read relative to where its own
// points lie, then moved point by point in double to survey coordinates and
// stored relative to the scene origin, as a cloud read at survey coordinates
// is. Exports, picks and selections then see survey coordinates.
class Placement
{
public:
    Placement(const GeoReference* geo, PointShift& shift) : m_geo(geo), m_shift(shift) {}

    PointShift& readShift() { return m_geo ? m_modelShift : m_shift; }

    void place(osg::Vec3Array& vertices)
    {
        if (!m_geo)
            return;
        const osg::Vec3d readOffset = m_modelShift.offset();
        m_modelShift.restart();
        for (osg::Vec3& v : vertices)
            v = m_shift.toLocal(m_geo->apply(readOffset + osg::Vec3d(v)));
        vertices.dirty();
    }

private:
    const GeoReference* m_geo;
    PointShift& m_shift;
    PointShift m_modelShift;
};

bool readPlyInto(osg::Group* group, const QString& fileName, QString* message, Placement& placement)
{
    LogLine() << "Bundle File is .patch\n";
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
    const bool read = PlyReader::readPly(fileName, *vertices, *colours, message, &placement.readShift());
    if (read)
        placement.place(*vertices);
    return addPointGeode(group, vertices.get(), colours.get(), read);
}

const char* const archiveMark = "pagedArchive";

} // namespace

bool PointCloudLoader::isArchive(const osg::Node* cloud)
{
    bool archive = false;
    return cloud && cloud->getUserValue(archiveMark, archive) && archive;
}

PointCloudLoader::Result PointCloudLoader::loadPointCloud(const QString& fileName, const SceneOrigin& origin)
{
    Result result;
    result.shift = PointShift(origin);
    PointShift& shift = result.shift;
    result.group = new osg::Group;
    osg::Group* group = result.group.get();
    group->getOrCreateStateSet()->setMode(GL_LIGHTING,
                                          osg::StateAttribute::OFF | osg::StateAttribute::OVERRIDE);

    const QString name = fileName.mid(fileName.lastIndexOf(QLatin1Char('/')) + 1);
    const auto has = [&name](const char* text) { return name.contains(QLatin1String(text)); };
    const bool asciiPly = has(".ply") && PlyReader::isAsciiPly(fileName);

    // A result of the dense stage stands where its reconstruction stands.
    GeoReference geo;
    const QString companion = ProductGeoReference::companionOf(fileName);
    const bool placed = !companion.isEmpty() && GeoReference::read(companion, geo);
    if (placed) {
        result.georeference = companion;
        LogLine(LogLevel::Info) << "Placed by " << companion.toStdString() << "\n";
    }
    Placement placement(placed ? &geo : nullptr, shift);

    if (has(".patch"))
        result.loaded |= readPlyInto(group, fileName, &result.message, placement);

    if (!asciiPly) {
        osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
        osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
        if (has(".xyb")) {
            const bool read =
                XybReader::readXyb(fileName, *vertices, *colours, &result.message, &placement.readShift());
            if (read)
                placement.place(*vertices);
            result.loaded |= addPointGeode(group, vertices.get(), colours.get(), read);
        } else if (has(".pts")) {
            // A cloud's own companion file places it (and keeps a registered
            // copy); a converted dense cloud without one stands where its
            // reconstruction stands.
            const bool own = QFileInfo::exists(GeoReference::companionFileName(fileName));
            PointShift& readWith = own ? shift : placement.readShift();
            const bool read = PtsReader::readPts(fileName, *vertices, *colours, &result.message, &readWith);
            if (read && PtsGeoReference::apply(fileName, *vertices, *colours, &readWith) ==
                            PtsGeoReference::Outcome::NoCompanion)
                placement.place(*vertices);
            result.loaded |= addPointGeode(group, vertices.get(), colours.get(), read);
        } else if (has(".osga")) {
            LogLine() << "Reading OSGA File\n";
            osg::ref_ptr<osg::Node> node = osgDB::readRefNodeFile(fileName.toStdString());
            if (node) {
                node->setStateSet(makeArchiveStateSet());
                // Paged leaves cannot be moved point by point: the archive
                // hangs under its reconstruction's transforms, as its sparse
                // points do.
                if (placed)
                    group->addChild(BundleSceneBuilder::wrapInGeoReference(node.get(), geo));
                else
                    group->addChild(node);
                group->setUserValue(archiveMark, true);
                // Every leaf the archive pages in is drawn, however few pixels
                // it covers, as the same points loaded plainly would be.
                group->setCullCallback(new FullDetailCulling);
                result.archive = true;
                result.loaded = true;
                LogLine() << "Read\n";
            } else {
                result.message = fileName + QStringLiteral(": cannot be read as a paged point archive");
                LogLine() << "Cannot read archive " << fileName.toStdString() << "\n";
            }
        } else {
            osg::ref_ptr<osg::Node> node = osgDB::readRefNodeFile(fileName.toStdString());
            if (node) {
                LogLine() << "Reading PLY File\n";
                // Plug-ins that return something other than a geode still
                // show what they read; the export then finds no arrays.
                StreamingBuffersVisitor streaming;
                node->accept(streaming);
                // A ".patch" name read its points above: one shift serves both.
                VertexShifter::shift(*node, shift, placed ? &geo : nullptr);
                group->addChild(node);
                result.loaded = true;
            } else if (!result.loaded) {
                result.message = fileName + QStringLiteral(": the scene-graph library cannot read this file");
            }
        }
    } else {
        result.loaded |= readPlyInto(group, fileName, &result.message, placement);
    }
    if (shift.isShifted()) {
        result.group = placeAt(group, shift.offset());
        LogLine(LogLevel::Info) << "Points kept relative to "
                                << SceneOrigin(shift.offset()).text().toStdString() << "\n";
    }
    // The user is told which file, whatever the reader's own words.
    if (!result.loaded && result.message.isEmpty())
        result.message = QStringLiteral("no points read");
    if (!result.loaded && !result.message.startsWith(fileName))
        result.message = fileName + QStringLiteral(": ") + result.message;
    return result;
}

osg::ref_ptr<osg::Group> PointCloudLoader::placeAt(osg::Group* group, const osg::Vec3d& offset)
{
    if (offset == osg::Vec3d())
        return group;
    osg::ref_ptr<osg::MatrixTransform> placed = new osg::MatrixTransform(osg::Matrixd::translate(offset));
    placed->setStateSet(group->getStateSet());
    for (unsigned i = 0; i < group->getNumChildren(); ++i)
        placed->addChild(group->getChild(i));
    return placed;
}

osg::Vec3d PointCloudLoader::offsetOf(const osg::Node* cloud)
{
    const auto* transform = dynamic_cast<const osg::MatrixTransform*>(cloud);
    return transform ? transform->getMatrix().getTrans() : osg::Vec3d();
}

osg::ref_ptr<osg::StateSet> PointCloudLoader::makeArchiveStateSet()
{
    osg::ref_ptr<osg::StateSet> stateSet = new osg::StateSet;
    stateSet->setMode(GL_LIGHTING, osg::StateAttribute::OFF | osg::StateAttribute::OVERRIDE);
    stateSet->setMode(GL_BLEND, osg::StateAttribute::ON);
    stateSet->setRenderingHint(osg::StateSet::TRANSPARENT_BIN);
    osg::ref_ptr<osg::Point> point = new osg::Point;
    point->setSize(1.0f);
    point->setMinSize(1.0f);
    point->setMaxSize(100.0f);
    point->setDistanceAttenuation(osg::Vec3(1.0f, 0.05f, 0.0f));
    stateSet->setAttribute(point);
    stateSet->setAttribute(new osg::PolygonMode(osg::PolygonMode::FRONT_AND_BACK, osg::PolygonMode::POINT));
    return stateSet;
}

bool PointCloudLoader::extractArrays(const osg::Group* cloud, osg::ref_ptr<osg::Vec3Array>& vertices,
                                     osg::ref_ptr<osg::Vec4Array>& colours)
{
    if (!cloud || cloud->getNumChildren() == 0)
        return false;
    const osg::Geode* geode = cloud->getChild(0)->asGeode();
    if (!geode || geode->getNumDrawables() == 0)
        return false;
    const osg::Geometry* geometry = geode->getDrawable(0)->asGeometry();
    if (!geometry)
        return false;
    vertices = dynamic_cast<osg::Vec3Array*>(const_cast<osg::Array*>(geometry->getVertexArray()));
    colours = dynamic_cast<osg::Vec4Array*>(const_cast<osg::Array*>(geometry->getColorArray()));
    if (!vertices)
        return false;
    if (!colours)
        colours = new osg::Vec4Array;
    return true;
}

bool PointCloudLoader::exportPointCloud(const QString& fileName, const osg::Group* cloud, QString* message)
{
    const auto fail = [message](const QString& text) {
        LogLine() << text.toStdString() << "\n";
        if (message)
            *message = text;
        return false;
    };
    if (!fileName.endsWith(QLatin1String(".ply"), Qt::CaseInsensitive))
        return fail(fileName + QStringLiteral(": export writes PLY; the name must end in .ply"));
    osg::ref_ptr<osg::Vec3Array> vertices;
    osg::ref_ptr<osg::Vec4Array> colours;
    if (!extractArrays(cloud, vertices, colours))
        return fail(fileName + QStringLiteral(": the cloud holds no point arrays to export"));
    return PlyWriter::writePly(fileName, *vertices, *colours, message, offsetOf(cloud));
}
