#include "scene/images/ImageMatchScene.h"

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/LineWidth>
#include <osg/MatrixTransform>
#include <osg/PositionAttitudeTransform>
#include <osg/ShapeDrawable>

#include <cstdio>

#include "core/images/AutoLispWriter.h"
#include "core/io/NumberText.h"
#include "core/images/UserFeatureFile.h"

namespace
{

const osg::Vec4 red(1, 0, 0, 1);
const osg::Vec4 green(0, 1, 0, 1);

// Positions are placed by a double-precision transform, so that survey
// coordinates keep their millimetres on screen too.
osg::ref_ptr<osg::Node> sphereAt(const osg::Vec3d& at, double radius, const osg::Vec4& colour)
{
    osg::ref_ptr<osg::ShapeDrawable> shape =
        new osg::ShapeDrawable(new osg::Sphere(osg::Vec3(), float(radius)));
    shape->setColor(colour);
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->setCullingActive(false);
    geode->addDrawable(shape.get());
    geode->getOrCreateStateSet()->setMode(GL_LIGHTING,
                                          osg::StateAttribute::OFF | osg::StateAttribute::OVERRIDE);
    osg::ref_ptr<osg::PositionAttitudeTransform> place = new osg::PositionAttitudeTransform;
    place->setPosition(at);
    place->addChild(geode.get());
    return place;
}

osg::ref_ptr<osg::Node> lineBetween(const osg::Vec3d& from, const osg::Vec3d& to)
{
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    vertices->push_back(osg::Vec3());
    vertices->push_back(osg::Vec3(to - from));
    osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
    colours->push_back(red);
    osg::ref_ptr<osg::Geometry> geometry = new osg::Geometry;
    geometry->setVertexArray(vertices.get());
    geometry->setColorArray(colours.get(), osg::Array::BIND_OVERALL);
    osg::ref_ptr<osg::DrawElementsUShort> line = new osg::DrawElementsUShort(osg::PrimitiveSet::LINES);
    line->push_back(0);
    line->push_back(1);
    geometry->addPrimitiveSet(line.get());
    osg::ref_ptr<osg::Geode> geode = new osg::Geode;
    geode->addDrawable(geometry.get());
    osg::StateSet* state = geode->getOrCreateStateSet();
    state->setMode(GL_LIGHTING, osg::StateAttribute::OFF);
    state->setAttribute(new osg::LineWidth(2.0f));
    osg::ref_ptr<osg::MatrixTransform> place = new osg::MatrixTransform(osg::Matrixd::translate(from));
    place->addChild(geode.get());
    return place;
}

QString text(const osg::Vec3d& v)
{
    return QStringLiteral("%1, %2, %3")
        .arg(NumberText::shortest(v.x()), NumberText::shortest(v.y()), NumberText::shortest(v.z()));
}

} // namespace

ImageMatchScene::ImageMatchScene(osg::Group* root) : m_root(root), m_connectors(new osg::Group)
{
    m_connectors->setName("extracted shapes");
}

void ImageMatchScene::showConnectorGroup()
{
    // Joins the scene with the first shape only: an empty scene stays empty
    // for the views that look at its first layer.
    if (m_root.valid() && !m_root->containsNode(m_connectors.get()))
        m_root->addChild(m_connectors.get());
}

const MatchSets& ImageMatchScene::matchSetsFor(const QString& imagePath)
{
    if (m_matchSets.isEmpty()) {
        const QString path = MatchSets::pathFor(imagePath);
        QString error;
        if (!m_matchSets.readFile(path, &error))
            std::printf("%s\n", qPrintable(error));
    }
    return m_matchSets;
}

void ImageMatchScene::setGeoReference(const GeoReference* geo)
{
    if (geo)
        m_geo = *geo;
    else
        m_geo.reset();
}

osg::Vec3d ImageMatchScene::toWorld(const osg::Vec3d& model) const
{
    return m_geo ? m_geo->apply(model) : model;
}

QVector<int> ImageMatchScene::triangulateImageMatches(const QString& appDir, const QString& imageFolder,
                                                      QStringList& log)
{
    QVector<int> done;
    QVector<ImageSelection::Match>& matches = m_selection.matches();
    for (int i = 0; i < matches.size(); ++i) {
        ImageSelection::Match& match = matches[i];
        if (match.size() != 2)
            continue;
        const TriangulationRun::Result r =
            TriangulationRun::run(m_process, appDir, imageFolder, match[0], match[1], m_timeoutMs);
        if (!r.ok) {
            log << QStringLiteral("Match %1 (%2 and %3) gave no point: %4")
                       .arg(i + 1)
                       .arg(match[0].imageName, match[1].imageName, r.reason);
            continue;
        }
        match[0].point = match[1].point = r.point;
        log << QStringLiteral("Match %1 triangulated at %2").arg(i + 1).arg(text(r.point));
        std::printf("XYZ: %.17g %.17g %.17g\n", r.point.x(), r.point.y(), r.point.z());
        osg::ref_ptr<osg::Node> marker = sphereAt(toWorld(r.point), 0.01, match[0].type == 1 ? red : green);
        m_pointMarkers.push_back(marker);
        if (m_root.valid())
            m_root->addChild(marker.get());
        done.append(i);
    }
    std::fflush(stdout);
    return done;
}

void ImageMatchScene::extrude(const osg::Vec3d& modelPoint, int kind, double height)
{
    ExtrudedItem item;
    item.kind = kind == 1 ? 1 : 0;
    item.point = toWorld(modelPoint);
    if (height != 0)
        item.point.z() = height;
    item.foot = osg::Vec3d(item.point.x(), item.point.y(), 0);
    item.lowered = item.point - osg::Vec3d(0, 0, 0.3);
    m_items.append(item);
    showConnectorGroup();
    m_connectors->addChild(sphereAt(item.point, 0.01, red).get());
    m_connectors->addChild(sphereAt(item.lowered, 0.01, red).get());
    std::printf("%.17g %.17g %.17g\n%.17g %.17g %.17g\n%.17g %.17g %.17g -Extruded\n", item.point.x(),
                item.point.y(), item.point.z(), item.foot.x(), item.foot.y(), item.foot.z(), item.lowered.x(),
                item.lowered.y(), item.lowered.z());
}

int ImageMatchScene::buildConnectors()
{
    m_objects.emplace_back();
    const int shape = int(m_objects.size()) - 1;
    ExtractedObject& object = m_objects.back();
    showConnectorGroup();
    for (ConnectorRecord record : ExtractedObject::plan(m_items)) {
        record.node = lineBetween(record.first, record.second);
        QVector<ConnectorRecord>& list = object.connectors[size_t(record.type)];
        list.append(record);
        m_connectors->addChild(record.node.get());
        std::printf("Connector %d %.17g %.17g %.17g type: %d\n", int(list.size() - 1), record.first.x(),
                    record.first.y(), record.first.z(), record.type);
    }
    std::fflush(stdout);
    return shape;
}

void ImageMatchScene::removeTriangulatedPoints()
{
    for (const osg::ref_ptr<osg::Node>& marker : m_pointMarkers)
        if (m_root.valid())
            m_root->removeChild(marker.get());
    m_pointMarkers.clear();
}

ImageMatchScene::Extract ImageMatchScene::extract(const QString& appDir, const QString& imageFolder)
{
    Extract result;
    if (imageFolder.isEmpty()) {
        result.log << QStringLiteral("Nothing extracted: load the reconstruction the images belong to first");
        return result;
    }
    const QVector<int> done = triangulateImageMatches(appDir, imageFolder, result.log);
    result.points = done.size();
    if (done.isEmpty()) {
        result.log << QStringLiteral("Nothing extracted: no match of two observations could be triangulated");
        removeTriangulatedPoints();
        return result;
    }
    // The items of this extract make this extract's shape.
    m_items.clear();
    for (int i : done) {
        const ImagePick& first = m_selection.matches()[i].first();
        extrude(first.point, first.type == 1 ? 1 : 0);
    }
    result.shapeIndex = buildConnectors();
    std::printf("FinishSelection\n");
    QString error;
    result.lispFile = AutoLispWriter::write(imageFolder, m_objects.back(), &error);
    result.log << (result.lispFile.isEmpty()
                       ? QStringLiteral("CAD export failed: %1").arg(error)
                       : QStringLiteral("CAD export written to %1").arg(result.lispFile));
    std::printf("WroteSelection\n");
    std::fflush(stdout);
    m_selection.moveToHistory(done, result.shapeIndex);
    result.featureFile = UserFeatureFile::write(imageFolder, m_selection.history(), &error);
    result.log << (result.featureFile.isEmpty()
                       ? QStringLiteral("User feature file failed: %1").arg(error)
                       : QStringLiteral("User feature file written to %1").arg(result.featureFile));
    removeTriangulatedPoints();
    return result;
}
