#include "scene/images/ImageMatchScene.h"

#include "core/log/LogSink.h"

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/LineWidth>
#include <osg/MatrixTransform>
#include <osg/PositionAttitudeTransform>
#include <osg/ShapeDrawable>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

#include "core/formats/SparseBundle.h"
#include "core/images/AutoLispWriter.h"
#include "core/images/UserFeatureFile.h"
#include "core/io/NumberString.h"

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
        .arg(NumberString::shortest(v.x()), NumberString::shortest(v.y()), NumberString::shortest(v.z()));
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
        if (!m_matchSets.readFile(path, &error)) {
            LogSink::printf(LogLevel::Debug, "%s\n", qPrintable(error));
            // No file is no news before the matcher ran; a file that is there
            // and cannot be read leaves the overlays without matches, once a word.
            if (QFileInfo::exists(path) && !m_reportedMatchFiles.contains(path)) {
                m_reportedMatchFiles.insert(path);
                LogSink::write(
                    LogLevel::Warning,
                    QStringLiteral("The image viewers show no matches: the match file %1").arg(error));
            }
        } else {
            m_reportedMatchFiles.remove(path);
        }
    }
    return m_matchSets;
}

namespace
{

QString folderKey(const QString& folder)
{
    return folder.isEmpty() ? QString() : QDir::cleanPath(folder).toLower();
}

} // namespace

void ImageMatchScene::setGeoReference(const QString& folder, const GeoReference* geo)
{
    if (geo)
        m_geo.insert(folderKey(folder), *geo);
    else
        m_geo.remove(folderKey(folder));
}

void ImageMatchScene::setGeoReference(const SparseBundle& bundle, const GeoReference* geo)
{
    // A pick names its reconstruction by the folder its camera's photo lies
    // in (ImageFeatures): the same folders here.
    QSet<QString> folders;
    for (const SparseBundle::CameraList& cameras : bundle.bundleCameras)
        for (const auto& camera : cameras) {
            const QString name = QString::fromStdString(camera->name);
            const QString path = QString::fromStdString(camera->path);
            folders.insert(path.endsWith(name) ? path.left(path.size() - name.size()) : QString());
        }
    for (const QString& folder : qAsConst(folders))
        setGeoReference(folder, geo);
}

osg::Vec3d ImageMatchScene::toWorld(const osg::Vec3d& model, const QString& folder) const
{
    const auto found = m_geo.constFind(folderKey(folder));
    return found == m_geo.constEnd() ? model : found->apply(model);
}

namespace
{

bool sameFolder(const QString& a, const QString& b)
{
    return QDir::cleanPath(a).compare(QDir::cleanPath(b), Qt::CaseInsensitive) == 0;
}

// Why the two picks of a match cannot be triangulated together, empty when they can.
QString refusal(const ImagePick& a, const ImagePick& b)
{
    for (const ImagePick* p : {&a, &b})
        if (p->cameraIndex < 0)
            return QStringLiteral("%1 has no camera in a loaded reconstruction: load the reconstruction the "
                                  "images belong to first")
                .arg(p->imageName);
    for (const ImagePick* p : {&a, &b})
        if (p->reconstructionFolder.isEmpty())
            return QStringLiteral("the folder of the reconstruction of %1 is not known").arg(p->imageName);
    if (!sameFolder(a.reconstructionFolder, b.reconstructionFolder))
        return QStringLiteral("the photos belong to two reconstructions (%1 and %2), whose cameras do not "
                              "meet")
            .arg(a.reconstructionFolder, b.reconstructionFolder);
    return QString();
}

} // namespace

QVector<int> ImageMatchScene::triangulateImageMatches(const QString& appDir, QString& folder,
                                                      QStringList& log)
{
    QVector<int> done;
    QVector<ImageSelection::Match>& matches = m_selection.matches();
    for (int i = 0; i < matches.size(); ++i) {
        ImageSelection::Match& match = matches[i];
        if (match.size() != 2)
            continue;
        const QString why = refusal(match[0], match[1]);
        if (!why.isEmpty()) {
            log << QStringLiteral("Match %1 (%2 and %3) not triangulated: %4")
                       .arg(i + 1)
                       .arg(match[0].imageName, match[1].imageName, why);
            continue;
        }
        if (folder.isEmpty()) {
            folder = match[0].reconstructionFolder;
        } else if (!sameFolder(folder, match[0].reconstructionFolder)) {
            log << QStringLiteral(
                       "Match %1 (%2 and %3) is of the reconstruction in %4, not %5: it is left for "
                       "an extract of its own")
                       .arg(i + 1)
                       .arg(match[0].imageName, match[1].imageName, match[0].reconstructionFolder, folder);
            continue;
        }
        const TriangulationRun::Result r =
            TriangulationRun::run(m_process, appDir, folder, match[0], match[1], m_timeoutMs);
        if (!r.ok) {
            log << QStringLiteral("Match %1 (%2 and %3) gave no point: %4")
                       .arg(i + 1)
                       .arg(match[0].imageName, match[1].imageName, r.reason);
            continue;
        }
        match[0].point = match[1].point = r.point;
        log << QStringLiteral("Match %1 triangulated at %2").arg(i + 1).arg(text(r.point));
        LogSink::printf(LogLevel::Debug, "XYZ: %.17g %.17g %.17g\n", r.point.x(), r.point.y(), r.point.z());
        osg::ref_ptr<osg::Node> marker =
            sphereAt(toWorld(r.point, folder), 0.01, match[0].type == 1 ? red : green);
        m_pointMarkers.push_back(marker);
        if (m_root.valid())
            m_root->addChild(marker.get());
        done.append(i);
    }
    return done;
}

ExtrudedItem ImageMatchScene::extrudedItem(const osg::Vec3d& modelPoint, const QString& folder, int kind,
                                           double height) const
{
    ExtrudedItem item;
    item.kind = kind == 1 ? 1 : 0;
    item.point = toWorld(modelPoint, folder);
    if (height != 0)
        item.point.z() = height;
    item.foot = osg::Vec3d(item.point.x(), item.point.y(), 0);
    item.lowered = item.point - osg::Vec3d(0, 0, 0.3);
    return item;
}

void ImageMatchScene::showItem(const ExtrudedItem& item)
{
    showConnectorGroup();
    m_connectors->addChild(sphereAt(item.point, 0.01, red).get());
    m_connectors->addChild(sphereAt(item.lowered, 0.01, red).get());
    LogSink::printf(LogLevel::Debug, "%.17g %.17g %.17g\n%.17g %.17g %.17g\n%.17g %.17g %.17g -Extruded\n",
                    item.point.x(), item.point.y(), item.point.z(), item.foot.x(), item.foot.y(),
                    item.foot.z(), item.lowered.x(), item.lowered.y(), item.lowered.z());
}

void ImageMatchScene::extrude(const osg::Vec3d& modelPoint, const QString& folder, int kind, double height)
{
    const ExtrudedItem item = extrudedItem(modelPoint, folder, kind, height);
    m_items.append(item);
    showItem(item);
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
        LogSink::printf(LogLevel::Debug, "Connector %d %.17g %.17g %.17g type: %d\n", int(list.size() - 1),
                        record.first.x(), record.first.y(), record.first.z(), record.type);
    }
    return shape;
}

void ImageMatchScene::removeTriangulatedPoints()
{
    for (const osg::ref_ptr<osg::Node>& marker : m_pointMarkers)
        if (m_root.valid())
            m_root->removeChild(marker.get());
    m_pointMarkers.clear();
}

ImageMatchScene::Extract ImageMatchScene::extract(const QString& appDir)
{
    Extract result;
    QString folder;
    const QVector<int> done = triangulateImageMatches(appDir, folder, result.log);
    removeTriangulatedPoints();
    if (done.isEmpty()) {
        result.log << QStringLiteral("Nothing extracted: no match of two observations could be triangulated");
        return result;
    }
    // The items of this extract make this extract's shape. The files are
    // written before anything changes, so that a failed write leaves the
    // picks where they were, for another try.
    QVector<ExtrudedItem> items;
    for (int i : done) {
        const ImagePick& first = m_selection.matches()[i].first();
        items.append(extrudedItem(first.point, folder, first.type == 1 ? 1 : 0));
    }
    ExtractedObject object;
    for (const ConnectorRecord& record : ExtractedObject::plan(items))
        object.connectors[size_t(record.type)].append(record);
    const int shapeIndex = int(m_objects.size());
    QString error;
    const QString lispFile = AutoLispWriter::write(folder, object, &error);
    if (lispFile.isEmpty()) {
        result.log << QStringLiteral("CAD export failed: %1").arg(error)
                   << QStringLiteral("Nothing extracted: the picks are kept for another try");
        return result;
    }
    ImageSelection extracted = m_selection;
    extracted.moveToHistory(done, shapeIndex);
    const QString featureFile = UserFeatureFile::write(folder, extracted.history(), &error);
    if (featureFile.isEmpty()) {
        QFile::remove(lispFile); // half an extract is none
        result.log << QStringLiteral("User feature file failed: %1").arg(error)
                   << QStringLiteral("Nothing extracted: the picks are kept for another try");
        return result;
    }
    m_selection = extracted;
    m_items = items;
    for (const ExtrudedItem& item : qAsConst(m_items))
        showItem(item);
    result.points = done.size();
    result.shapeIndex = buildConnectors();
    LogSink::printf(LogLevel::Debug, "FinishSelection\nWroteSelection\n");
    result.lispFile = lispFile;
    result.featureFile = featureFile;
    result.log << QStringLiteral("CAD export written to %1").arg(lispFile)
               << QStringLiteral("User feature file written to %1").arg(featureFile);
    return result;
}
