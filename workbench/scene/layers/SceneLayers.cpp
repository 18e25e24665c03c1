#include "scene/layers/SceneLayers.h"

#include "core/log/LogSink.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <osg/ValueObject>
#include <osgDB/ReadFile>

#include <algorithm>
#include <cstdio>

#include "core/formats/BundleLoader.h"
#include "scene/layers/BundleSceneBuilder.h"
#include "scene/layers/ContourSceneBuilder.h"
#include "scene/layers/DrapedRasterBuilder.h"
#include "scene/layers/PointCloudLoader.h"
#include "scene/layers/VertexShifter.h"

namespace
{

constexpr osg::Node::NodeMask hiddenMask = 0x0;
constexpr osg::Node::NodeMask shownMask = ~0x0u;
// The EPSG code a raster terrain's mesh is in, kept on its node.
const char* const terrainSystemKey = "epsg";

std::string localPath(const QString& fileName)
{
    return QFile::encodeName(fileName).toStdString();
}

template <typename List> bool inRange(const List& list, int index)
{
    return index >= 0 && index < int(list.size());
}

template <typename List> int indexOfNode(const List& list, const osg::Node* node)
{
    for (size_t i = 0; i < list.size(); ++i)
        if (list[i].get() == node)
            return int(i);
    return -1;
}

bool failWith(QString* error, const QString& text)
{
    LogSink::printf(LogLevel::Debug, "%s\n", text.toLocal8Bit().constData());
    if (error)
        *error = text;
    return false;
}

} // namespace

SceneLayers::SceneLayers(const Hooks& hooks, osg::Group* root)
    : m_hooks(hooks), m_root(root), m_annotations(new AnnotationScene(root))
{
}

SceneLayers::~SceneLayers() = default;

void SceneLayers::requestFrame()
{
    m_hooks.frameWanted();
}

void SceneLayers::forgetOriginWhenEmpty()
{
    if (!m_origin.isSet() || !m_pointClouds.empty())
        return;
    for (const auto& bundle : m_sparseBundles)
        for (const auto& group : bundle->sparsePoints)
            if (group && group->getNumParents() > 0)
                return;
    for (const auto& model : m_models)
        if (PointCloudLoader::offsetOf(model.get()) != osg::Vec3d())
            return;
    m_origin.clear();
    m_hooks.originChanged(osg::Vec3d());
}

void SceneLayers::adoptOrigin(const PointShift& shift, const QString& source)
{
    if (m_origin.isSet() || !shift.chosenOrigin().isSet())
        return;
    m_origin = shift.chosenOrigin();
    m_hooks.originChanged(m_origin.value());
    const QString line = tr("Scene origin %1, taken from %2: its large coordinates are kept relative to it, "
                            "and every position is still shown and written in full.")
                             .arg(m_origin.text(), source);
    LogSink::print(LogLevel::Info, line.toStdString() + '\n');
}

bool SceneLayers::loadBundle(const QString& fileName, bool visible, QString* error)
{
    requestFrame();
    forgetOriginWhenEmpty();
    auto bundle = std::make_unique<SparseBundle>();
    const BundleLoader::Result result = BundleLoader::load(localPath(fileName), *bundle, m_origin);
    if (result.kind == BundleLoader::Kind::Nvm)
        m_imageFolder = QFile::decodeName(QByteArray::fromStdString(result.imageFolder));
    if (!result.accepted) {
        if (error)
            *error = QString::fromStdString(result.message);
        return false;
    }
    // Bundler ".out" files feed the external tools only: a layer with nothing to show.
    if (!result.buildScene)
        return true;
    const QString companion = GeoReference::companionFileName(fileName);
    LogSink::printf(LogLevel::Debug, "%s\n", companion.toLocal8Bit().constData());
    GeoReference geo;
    const bool placed = GeoReference::read(companion, geo);
    adoptOrigin(result.shift, fileName);
    addBundle(std::move(bundle), result.vertices, result.colours, placed ? &geo : nullptr, visible,
              result.shift.offset());
    return true;
}

int SceneLayers::addBundle(std::unique_ptr<SparseBundle> bundle, const NvmReader::VertexArrays& vertices,
                           const NvmReader::ColourArrays& colours, const GeoReference* geo, bool visible,
                           const osg::Vec3d& offset)
{
    requestFrame();
    const bool firstLayer = m_root->getNumChildren() == 0;
    BundleSceneBuilder(m_root.get(), geo, offset).build(*bundle, vertices, colours);
    m_sparseBundles.push_back(std::move(bundle));
    const int index = int(m_sparseBundles.size()) - 1;
    if (m_hooks.bundlePlaced)
        m_hooks.bundlePlaced(*m_sparseBundles.back(), geo); // its picks are placed by its georeference
    // A bundle adds a point group and a frustum per camera at once, so "the
    // first layer" is an empty root before the load, not a root of one child.
    if (firstLayer && m_root->getNumChildren() > 0)
        m_hooks.firstLayerAdded();
    if (!visible)
        hideBundle(index);
    return index;
}

bool SceneLayers::loadModel(const QString& fileName, bool visible, QString* error)
{
    requestFrame();
    const bool firstLayer = m_root->getNumChildren() == 0;
    osg::ref_ptr<osg::Node> node = osgDB::readNodeFile(localPath(fileName));
    if (!node)
        return failWith(error, fileName + tr(": the scene-graph library cannot read this model"));
    // A model at survey coordinates is kept relative to the scene origin,
    // as point clouds are.
    forgetOriginWhenEmpty();
    PointShift shift(m_origin);
    VertexShifter::shift(*node, shift);
    adoptOrigin(shift, fileName);
    if (shift.isShifted()) {
        osg::ref_ptr<osg::Group> group = new osg::Group;
        group->addChild(node.get());
        node = PointCloudLoader::placeAt(group.get(), shift.offset());
    }
    m_models.push_back(node);
    m_root->addChild(node.get());
    if (!visible)
        node->setNodeMask(hiddenMask);
    if (firstLayer && m_root->getNumChildren() == 1)
        m_hooks.firstLayerAdded();
    return true;
}

bool SceneLayers::loadTerrain(const QString& fileName, bool visible, QString* error)
{
    requestFrame();
    if (fileName.endsWith(QLatin1String(".tif"), Qt::CaseInsensitive) ||
        fileName.endsWith(QLatin1String(".tiff"), Qt::CaseInsensitive))
        return loadRasterTerrain(fileName, visible, error);
    if (fileName.endsWith(QLatin1String(".gpkg"), Qt::CaseInsensitive))
        return loadContours(fileName, visible, error);
    osg::ref_ptr<osg::Node> node = osgDB::readNodeFile(localPath(fileName));
    if (!node)
        return failWith(error, fileName + tr(": the scene-graph library cannot read this terrain"));
    m_terrains.push_back(node);
    m_root->addChild(node.get());
    if (!visible)
        node->setNodeMask(hiddenMask);
    LogSink::printf(LogLevel::Debug, "Read\n");
    return true;
}

bool SceneLayers::loadRasterTerrain(const QString& fileName, bool visible, QString* error)
{
    const bool firstLayer = m_root->getNumChildren() == 0;
    // Survey coordinates, kept relative to the scene origin as clouds are.
    forgetOriginWhenEmpty();
    PointShift shift(m_origin);
    int epsg = 0;
    osg::ref_ptr<osg::Node> mesh =
        DrapedRasterBuilder::load(fileName, shift, referenceSystem(), error, &epsg);
    if (!mesh)
        return false;
    addSurveyNode(mesh, shift, fileName, epsg, visible, firstLayer);
    return true;
}

bool SceneLayers::loadContours(const QString& fileName, bool visible, QString* error)
{
    const bool firstLayer = m_root->getNumChildren() == 0;
    forgetOriginWhenEmpty();
    PointShift shift(m_origin);
    int epsg = 0;
    osg::ref_ptr<osg::Node> lines = ContourSceneBuilder::load(fileName, shift, error, &epsg);
    if (!lines)
        return false;
    const int project = referenceSystem();
    if (project > 0 && epsg > 0 && epsg != project)
        return failWith(error,
                        fileName + tr(": its lines are in EPSG:%1, the project's survey coordinates in "
                                      "EPSG:%2")
                                       .arg(epsg)
                                       .arg(project));
    addSurveyNode(lines, shift, fileName, epsg, visible, firstLayer);
    return true;
}

void SceneLayers::addSurveyNode(osg::ref_ptr<osg::Node> content, const PointShift& shift, const QString& fileName,
                                int epsg, bool visible, bool firstLayer)
{
    adoptOrigin(shift, fileName);
    osg::ref_ptr<osg::Node> node = content;
    if (shift.isShifted()) {
        osg::ref_ptr<osg::Group> group = new osg::Group;
        group->addChild(content.get());
        node = PointCloudLoader::placeAt(group.get(), shift.offset());
    }
    // The next raster goes into the same system when no reconstruction names one.
    if (epsg > 0)
        node->setUserValue(terrainSystemKey, epsg);
    m_terrains.push_back(node);
    m_root->addChild(node.get());
    if (!visible)
        node->setNodeMask(hiddenMask);
    if (firstLayer && m_root->getNumChildren() == 1)
        m_hooks.firstLayerAdded();
}

int SceneLayers::referenceSystem() const
{
    for (const auto& [id, object] : m_layerObjects) {
        GeoReference geo;
        if (object.type == LayerType::Bundle &&
            GeoReference::read(GeoReference::companionFileName(object.file), geo) && geo.epsg > 0)
            return geo.epsg;
    }
    for (const auto& terrain : m_terrains) {
        int epsg = 0;
        if (terrain->getUserValue(terrainSystemKey, epsg) && epsg > 0)
            return epsg;
    }
    return 0;
}

bool SceneLayers::loadPointCloud(const QString& fileName, bool visible, QString* error)
{
    requestFrame();
    forgetOriginWhenEmpty();
    const PointCloudLoader::Result r = PointCloudLoader::loadPointCloud(fileName, m_origin);
    if (error)
        *error = r.message;
    if (!r.loaded)
        return false;
    adoptOrigin(r.shift, fileName);
    // Paged archives ignore the visible flag and need the detail control.
    if (r.archive)
        m_hooks.archiveLoaded();
    addPointCloud(r.group.get(), r.archive || visible);
    if (!r.georeference.isEmpty())
        LogSink::write(LogLevel::Info,
                       tr("%1 placed at survey coordinates by its reconstruction's georeference %2")
                           .arg(QFileInfo(fileName).fileName(), r.georeference));
    return true;
}

bool SceneLayers::exportLayerCloud(LayerId id, const QString& fileName, QString* message)
{
    const LayerObject* object = layerObject(id);
    const int index =
        object && object->type == LayerType::PointCloud ? indexOfNode(m_pointClouds, object->node.get()) : -1;
    if (index < 0) {
        if (message)
            *message = tr("That layer holds no point cloud to export.");
        return false;
    }
    return exportPointCloud(fileName, index, message);
}

bool SceneLayers::exportPointCloud(const QString& fileName, int index, QString* message)
{
    if (!inRange(m_pointClouds, index) || !m_pointClouds[size_t(index)]->asGroup()) {
        if (message)
            *message = tr("There is no point cloud %1 to export.").arg(index);
        return false;
    }
    return PointCloudLoader::exportPointCloud(fileName, m_pointClouds[size_t(index)]->asGroup(), message);
}

bool SceneLayers::loadLayer(LayerId id, LayerType::Code type, const QString& file, bool visible,
                            QString* error)
{
    if (id == LayerScene::noLayer || hasLayer(id))
        return failWith(error, file + tr(": layer %1 is taken").arg(id));
    LayerObject object;
    object.type = type;
    switch (type) {
    case LayerType::Bundle: {
        const size_t before = m_sparseBundles.size();
        if (!loadBundle(file, visible, error))
            return false;
        if (m_sparseBundles.size() == before)
            return true; // a Bundler file: nothing in the scene stands for it
        object.bundle = m_sparseBundles.back().get();
        break;
    }
    case LayerType::Mesh:
        if (!loadModel(file, visible, error))
            return false;
        object.node = m_models.back();
        break;
    case LayerType::Terrain:
        if (!loadTerrain(file, visible, error))
            return false;
        object.node = m_terrains.back();
        break;
    case LayerType::PointCloud:
        if (!loadPointCloud(file, visible, error))
            return false;
        object.node = m_pointClouds.back();
        break;
    case LayerType::Points:
    case LayerType::Polygons:
        return loadAnnotationLayer(id, type, file, visible, QCoreApplication::applicationDirPath(), error);
    default:
        return failWith(error, file + tr(": this kind of layer has nothing to show"));
    }
    object.file = file;
    m_layerObjects[id] = object;
    return true;
}

SceneLayers::LayerId SceneLayers::bundleLayer(const SparseBundle* bundle) const
{
    for (const auto& [id, object] : m_layerObjects)
        if (bundle && object.bundle == bundle)
            return id;
    return LayerScene::noLayer;
}

QString SceneLayers::layerFile(LayerId id) const
{
    const LayerObject* object = layerObject(id);
    return object ? object->file : QString();
}

bool SceneLayers::reloadLayer(LayerId id, QString* error)
{
    const LayerObject* object = layerObject(id);
    if (!object)
        return failWith(error, tr("layer %1 has nothing in the scene to read again").arg(id));
    const LayerType::Code type = object->type;
    const QString file = object->file;
    const osg::Node* node = layerNode(id);
    const bool visible = !node || node->getNodeMask() != hiddenMask;
    removeLayer(id);
    // A bundle read again tells its new georeference through bundlePlaced.
    return loadLayer(id, type, file, visible, error);
}

const SceneLayers::LayerObject* SceneLayers::layerObject(LayerId id) const
{
    const auto found = m_layerObjects.find(id);
    return found == m_layerObjects.end() ? nullptr : &found->second;
}

osg::Node* SceneLayers::layerNode(LayerId id) const
{
    const LayerObject* object = layerObject(id);
    if (!object)
        return nullptr;
    if (object->annotation)
        return object->annotation->group();
    if (object->bundle)
        return object->bundle->sparsePoints.empty() ? nullptr : object->bundle->sparsePoints.front().get();
    return object->node.get();
}

osg::Node* SceneLayers::layerTop(LayerId id) const
{
    osg::Node* node = layerNode(id);
    if (!node || node->getNodeMask() == hiddenMask)
        return nullptr;
    while (node->getNumParents() > 0 && node->getParent(0) != m_root.get())
        node = node->getParent(0);
    return node->getNumParents() > 0 ? node : nullptr;
}

int SceneLayers::bundleIndex(const SparseBundle* bundle) const
{
    for (size_t i = 0; i < m_sparseBundles.size(); ++i)
        if (m_sparseBundles[i].get() == bundle)
            return int(i);
    return -1;
}

void SceneLayers::setLayerVisible(LayerId id, bool visible)
{
    requestFrame();
    const LayerObject* object = layerObject(id);
    if (!object)
        return;
    if (object->bundle)
        setBundleMask(bundleIndex(object->bundle), visible ? shownMask : hiddenMask);
    else if (object->annotation)
        object->annotation->setVisible(visible);
    else if (object->node)
        object->node->setNodeMask(visible ? shownMask : hiddenMask);
}

void SceneLayers::removeLayer(LayerId id)
{
    requestFrame();
    const auto found = m_layerObjects.find(id);
    if (found == m_layerObjects.end())
        return;
    const LayerObject object = found->second;
    m_layerObjects.erase(found);
    switch (object.type) {
    case LayerType::Bundle:
        removeBundle(bundleIndex(object.bundle));
        break;
    case LayerType::Mesh:
        removeModel(indexOfNode(m_models, object.node.get()));
        break;
    case LayerType::PointCloud:
        removePointCloud(indexOfNode(m_pointClouds, object.node.get()));
        break;
    case LayerType::Terrain: {
        const int index = indexOfNode(m_terrains, object.node.get());
        if (index >= 0) {
            detachFromRoot(object.node.get());
            m_terrains.erase(m_terrains.begin() + index);
        }
        break;
    }
    case LayerType::Points:
    case LayerType::Polygons:
        m_annotations->remove(object.annotation);
        break;
    default:
        break;
    }
}

void SceneLayers::forgetObject(const osg::Node* node, const SparseBundle* bundle)
{
    requestFrame();
    for (auto it = m_layerObjects.begin(); it != m_layerObjects.end();) {
        const bool gone = (node && it->second.node.get() == node) || (bundle && it->second.bundle == bundle);
        it = gone ? m_layerObjects.erase(it) : std::next(it);
    }
}

int SceneLayers::addPointCloud(LayerId id, osg::Node* cloud, bool visible)
{
    if (id == LayerScene::noLayer || hasLayer(id) || !cloud)
        return -1;
    const int index = addPointCloud(cloud, visible);
    LayerObject object;
    object.type = LayerType::PointCloud;
    object.node = cloud;
    m_layerObjects[id] = object;
    return index;
}

LayerSummary SceneLayers::layerSummary(LayerId id) const
{
    const LayerObject* object = layerObject(id);
    if (!object)
        return LayerSummary();
    if (object->bundle)
        return LayerSummary::ofBundle(*object->bundle);
    return object->node ? LayerSummary::ofNode(object->node.get()) : LayerSummary();
}

int SceneLayers::addPointCloud(osg::Node* cloud, bool visible)
{
    requestFrame();
    const bool firstLayer = m_root->getNumChildren() == 0;
    osg::ref_ptr<osg::Node> node = cloud ? cloud : new osg::Group;
    m_pointClouds.push_back(node);
    if (cloud) {
        m_root->addChild(cloud);
        if (!visible)
            cloud->setNodeMask(hiddenMask);
        if (firstLayer)
            m_hooks.firstLayerAdded();
    }
    return int(m_pointClouds.size()) - 1;
}

// -------------------------------------------------------- hide / show / remove

bool SceneLayers::validBundle(int index) const
{
    return index >= 0 && index < int(m_sparseBundles.size());
}

void SceneLayers::setBundleMask(int index, osg::Node::NodeMask mask)
{
    requestFrame();
    if (!validBundle(index))
        return;
    SparseBundle& bundle = *m_sparseBundles[size_t(index)];
    for (auto& cameras : bundle.bundleCameras)
        for (auto& camera : cameras)
            if (camera && camera->transform)
                camera->transform->setNodeMask(mask);
    for (auto& group : bundle.sparsePoints)
        if (group)
            group->setNodeMask(mask);
}

void SceneLayers::hideBundle(int index)
{
    setBundleMask(index, hiddenMask);
}
void SceneLayers::showBundle(int index)
{
    setBundleMask(index, shownMask);
}

void SceneLayers::detachFromRoot(osg::Node* node)
{
    // Georeferenced nodes hang under their own transform chain; the chain's
    // top is what the root holds.
    while (node && node->getNumParents() > 0) {
        osg::Group* parent = node->getParent(0);
        if (parent == m_root.get()) {
            m_root->removeChild(node);
            return;
        }
        node = parent;
    }
}

void SceneLayers::removeBundle(int index)
{
    requestFrame();
    if (!validBundle(index))
        return;
    SparseBundle& bundle = *m_sparseBundles[size_t(index)];
    forgetObject(nullptr, &bundle);
    for (size_t m = 0; m < bundle.bundleCameras.size(); ++m) {
        LogSink::printf(LogLevel::Debug, "sparseBundles[index]->bundleCameras[m].size()= %zu\n",
                        bundle.bundleCameras[m].size());
        for (auto& camera : bundle.bundleCameras[m]) {
            if (!camera || !camera->transform)
                continue;
            camera->transform->setNodeMask(hiddenMask);
            detachFromRoot(camera->transform.get());
        }
    }
    for (auto& group : bundle.sparsePoints) {
        if (!group)
            continue;
        group->setNodeMask(hiddenMask);
        detachFromRoot(group.get());
    }
}

void SceneLayers::hidePointSet(int bundle, int set)
{
    requestFrame();
    if (!validBundle(bundle))
        return;
    auto& groups = m_sparseBundles[size_t(bundle)]->sparsePoints;
    if (set >= 0 && set < int(groups.size()) && groups[size_t(set)])
        groups[size_t(set)]->setNodeMask(hiddenMask);
}

void SceneLayers::showPointSet(int bundle, int set)
{
    requestFrame();
    if (!validBundle(bundle))
        return;
    auto& groups = m_sparseBundles[size_t(bundle)]->sparsePoints;
    if (set >= 0 && set < int(groups.size()) && groups[size_t(set)])
        groups[size_t(set)]->setNodeMask(shownMask);
}

namespace
{

BundleCamera* cameraAt(SparseBundle& bundle, int model, int camera)
{
    if (model < 0 || model >= int(bundle.bundleCameras.size()))
        return nullptr;
    auto& cameras = bundle.bundleCameras[size_t(model)];
    if (camera < 0 || camera >= int(cameras.size()))
        return nullptr;
    return cameras[size_t(camera)].get();
}

} // namespace

void SceneLayers::hideCamera(int bundle, int model, int camera)
{
    requestFrame();
    if (!validBundle(bundle))
        return;
    BundleCamera* c = cameraAt(*m_sparseBundles[size_t(bundle)], model, camera);
    if (c && c->transform)
        c->transform->setNodeMask(hiddenMask);
}

void SceneLayers::showCamera(int bundle, int model, int camera)
{
    requestFrame();
    if (!validBundle(bundle))
        return;
    BundleCamera* c = cameraAt(*m_sparseBundles[size_t(bundle)], model, camera);
    if (c && c->transform)
        c->transform->setNodeMask(shownMask);
}

void SceneLayers::hideModel(int index)
{
    requestFrame();
    if (inRange(m_models, index))
        m_models[size_t(index)]->setNodeMask(hiddenMask);
}

void SceneLayers::showModel(int index)
{
    requestFrame();
    if (inRange(m_models, index))
        m_models[size_t(index)]->setNodeMask(shownMask);
}

void SceneLayers::removeModel(int index)
{
    requestFrame();
    if (!inRange(m_models, index))
        return;
    m_models[size_t(index)]->setNodeMask(hiddenMask);
    detachFromRoot(m_models[size_t(index)].get());
    forgetObject(m_models[size_t(index)].get());
    m_models.erase(m_models.begin() + index);
}

void SceneLayers::hidePointCloud(int index)
{
    requestFrame();
    if (inRange(m_pointClouds, index))
        m_pointClouds[size_t(index)]->setNodeMask(hiddenMask);
}

void SceneLayers::showPointCloud(int index)
{
    requestFrame();
    if (inRange(m_pointClouds, index))
        m_pointClouds[size_t(index)]->setNodeMask(shownMask);
}

void SceneLayers::removePointCloud(int index)
{
    requestFrame();
    if (!inRange(m_pointClouds, index))
        return;
    m_pointClouds[size_t(index)]->setNodeMask(hiddenMask);
    detachFromRoot(m_pointClouds[size_t(index)].get());
    forgetObject(m_pointClouds[size_t(index)].get());
    m_pointClouds.erase(m_pointClouds.begin() + index);
    const bool archiveLeft = std::any_of(m_pointClouds.begin(), m_pointClouds.end(), [](const auto& cloud) {
        return PointCloudLoader::isArchive(cloud.get());
    });
    if (!archiveLeft)
        m_hooks.archivesGone();
}

// ------------------------------------------------------- annotation layers

bool SceneLayers::loadAnnotationLayer(LayerId id, LayerType::Code type, const QString& file, bool visible,
                                      const QString& appFolder, QString* error)
{
    requestFrame();
    if (id == LayerScene::noLayer || hasLayer(id))
        return failWith(error, file + tr(": layer %1 is taken").arg(id));
    const bool firstLayer = m_root->getNumChildren() == 0;
    AnnotationLayer* layer = m_annotations->loadLayer(type, file, visible, appFolder, error);
    if (!layer)
        return false;
    LayerObject object;
    object.type = type;
    object.annotation = layer;
    m_layerObjects[id] = object;
    if (firstLayer)
        m_hooks.firstLayerAdded();
    return true;
}

bool SceneLayers::addAnnotationLayer(LayerId id, LayerType::Code type, bool visible, const QString& appFolder)
{
    requestFrame();
    if (id == LayerScene::noLayer || hasLayer(id))
        return false;
    AnnotationLayer* layer = m_annotations->createLayer(type, visible, appFolder);
    if (!layer)
        return false;
    LayerObject object;
    object.type = type;
    object.annotation = layer;
    m_layerObjects[id] = object;
    return true;
}

void SceneLayers::appendAnnotation(LayerId id, const AnnotationRecord& record)
{
    requestFrame();
    const LayerObject* object = layerObject(id);
    if (object && object->annotation)
        object->annotation->addRecord(record);
}

bool SceneLayers::setAnnotationVolume(LayerId id, int index, const RecordVolume& volume)
{
    const LayerObject* object = layerObject(id);
    return object && object->annotation && object->annotation->setVolume(index, volume);
}

QVector<AnnotationRecord> SceneLayers::annotationRecords(LayerId id) const
{
    const LayerObject* object = layerObject(id);
    return object && object->annotation ? object->annotation->records() : QVector<AnnotationRecord>();
}

void SceneLayers::toggleAnnotationLabels(LayerId id)
{
    requestFrame();
    const LayerObject* object = layerObject(id);
    if (object && object->annotation)
        object->annotation->toggleLabels();
}

bool SceneLayers::saveAnnotationLayer(LayerId id, const QString& file, QString* error)
{
    const LayerObject* object = layerObject(id);
    return AnnotationScene::save(object ? object->annotation : nullptr, file, error);
}
