#include "scene/layers/SceneLayers.h"

#include "core/log/LogSink.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include "core/formats/BundleLoader.h"
#include "scene/layers/AnnotationSceneLayer.h"
#include "scene/layers/BundleLayer.h"
#include "scene/layers/CloudLayer.h"
#include "scene/layers/ContourLayer.h"
#include "scene/layers/ModelLayer.h"
#include "scene/layers/PointCloudLoader.h"
#include "scene/layers/RasterLayer.h"
#include "scene/layers/TerrainLayer.h"

namespace
{

std::string localPath(const QString& fileName)
{
    return QFile::encodeName(fileName).toStdString();
}

bool failWith(QString* error, const QString& text)
{
    LogSink::printf(LogLevel::Debug, "%s\n", text.toLocal8Bit().constData());
    if (error)
        *error = text;
    return false;
}

LayerOptions optionsOf(SceneLayers::LayerId id, LayerType::Code type, const QString& file, bool visible)
{
    LayerOptions options;
    options.id = id;
    options.type = type;
    options.file = file.toUtf8();
    options.name = LayerType::fileNameOf(file);
    options.visible = visible;
    return options;
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
    if (!m_origin.isSet())
        return;
    for (const auto& [id, layer] : m_layers)
        if (layer->holdsOrigin())
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

// ------------------------------------------------------------------ loading

bool SceneLayers::loadBundle(const QString& fileName, bool visible, QString* error)
{
    return loadLayer(ownId(), LayerType::Bundle, fileName, visible, error);
}

bool SceneLayers::loadModel(const QString& fileName, bool visible, QString* error)
{
    return loadLayer(ownId(), LayerType::Mesh, fileName, visible, error);
}

bool SceneLayers::loadTerrain(const QString& fileName, bool visible, QString* error)
{
    return loadLayer(ownId(), LayerType::Terrain, fileName, visible, error);
}

bool SceneLayers::loadPointCloud(const QString& fileName, bool visible, QString* error)
{
    return loadLayer(ownId(), LayerType::PointCloud, fileName, visible, error);
}

bool SceneLayers::loadLayer(LayerId id, LayerType::Code type, const QString& file, bool visible,
                            QString* error)
{
    if (id == LayerScene::noLayer || hasLayer(id))
        return failWith(error, file + tr(": layer %1 is taken").arg(id));
    requestFrame();
    const LayerOptions options = optionsOf(id, type, file, visible);
    switch (type) {
    case LayerType::Bundle:
        return loadBundleLayer(options, error);
    case LayerType::Mesh:
        return loadModelLayer(options, error);
    case LayerType::Terrain:
        return loadTerrainLayer(options, error);
    case LayerType::PointCloud:
        return loadCloudLayer(options, error);
    case LayerType::Points:
    case LayerType::Polygons:
        return loadAnnotationLayer(id, type, file, visible, QCoreApplication::applicationDirPath(), error);
    default:
        return failWith(error, file + tr(": this kind of layer has nothing to show"));
    }
}

bool SceneLayers::loadBundleLayer(const LayerOptions& options, QString* error)
{
    const QString fileName = QString::fromUtf8(options.file);
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
    addBundleLayer(options, std::move(bundle), result.vertices, result.colours, placed ? &geo : nullptr,
                   result.shift.offset());
    return true;
}

SceneLayers::LayerId SceneLayers::addBundle(std::unique_ptr<SparseBundle> bundle,
                                            const NvmReader::VertexArrays& vertices,
                                            const NvmReader::ColourArrays& colours, const GeoReference* geo,
                                            bool visible, const osg::Vec3d& offset)
{
    return addBundleLayer(optionsOf(ownId(), LayerType::Bundle, QString(), visible), std::move(bundle),
                          vertices, colours, geo, offset);
}

SceneLayers::LayerId SceneLayers::addBundleLayer(const LayerOptions& options,
                                                 std::unique_ptr<SparseBundle> bundle,
                                                 const NvmReader::VertexArrays& vertices,
                                                 const NvmReader::ColourArrays& colours,
                                                 const GeoReference* geo, const osg::Vec3d& offset)
{
    requestFrame();
    const bool firstLayer = m_root->getNumChildren() == 0;
    auto layer = std::make_unique<BundleLayer>(options, std::move(bundle), m_root.get(), vertices, colours,
                                               geo, offset);
    BundleLayer* placed = layer.get();
    keep(std::move(layer));
    if (m_hooks.bundlePlaced)
        m_hooks.bundlePlaced(placed->bundle(), geo); // its picks are placed by its georeference
    // A bundle adds a point group and a frustum per camera at once, so "the
    // first layer" is an empty root before the load, not a root of one child.
    if (firstLayer && m_root->getNumChildren() > 0)
        m_hooks.firstLayerAdded();
    placed->setVisible(options.visible);
    return options.id;
}

bool SceneLayers::loadModelLayer(const LayerOptions& options, QString* error)
{
    const bool firstLayer = m_root->getNumChildren() == 0;
    // A model at survey coordinates is kept relative to the scene origin,
    // as point clouds are.
    forgetOriginWhenEmpty();
    PointShift shift(m_origin);
    QString problem;
    std::unique_ptr<ModelLayer> layer = ModelLayer::read(options, shift, &problem);
    if (!layer)
        return failWith(error, problem);
    adoptOrigin(shift, QString::fromUtf8(options.file));
    attach(std::move(layer));
    if (firstLayer && m_root->getNumChildren() == 1)
        m_hooks.firstLayerAdded();
    return true;
}

bool SceneLayers::loadTerrainLayer(const LayerOptions& options, QString* error)
{
    const QString fileName = QString::fromUtf8(options.file);
    const bool raster = fileName.endsWith(QLatin1String(".tif"), Qt::CaseInsensitive) ||
                        fileName.endsWith(QLatin1String(".tiff"), Qt::CaseInsensitive);
    const bool contours = fileName.endsWith(QLatin1String(".gpkg"), Qt::CaseInsensitive);
    if (!raster && !contours) {
        QString problem;
        std::unique_ptr<TerrainLayer> layer = TerrainLayer::read(options, &problem);
        if (!layer)
            return failWith(error, problem);
        attach(std::move(layer));
        LogSink::printf(LogLevel::Debug, "Read\n");
        return true;
    }
    // Survey coordinates, kept relative to the scene origin as clouds are.
    const bool firstLayer = m_root->getNumChildren() == 0;
    forgetOriginWhenEmpty();
    PointShift shift(m_origin);
    std::unique_ptr<TerrainLayer> layer;
    if (raster)
        layer = RasterLayer::load(options, shift, referenceSystem(), error);
    else
        layer = ContourLayer::load(options, shift, referenceSystem(), error);
    if (!layer)
        return false;
    adoptOrigin(shift, fileName);
    attach(std::move(layer));
    if (firstLayer && m_root->getNumChildren() == 1)
        m_hooks.firstLayerAdded();
    return true;
}

bool SceneLayers::loadCloudLayer(const LayerOptions& options, QString* error)
{
    const QString fileName = QString::fromUtf8(options.file);
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
    LayerOptions shown = options;
    shown.visible = r.archive || options.visible;
    addCloudLayer(shown, r.group.get());
    if (!r.georeference.isEmpty())
        LogSink::write(LogLevel::Info,
                       tr("%1 placed at survey coordinates by its reconstruction's georeference %2")
                           .arg(QFileInfo(fileName).fileName(), r.georeference));
    return true;
}

SceneLayers::LayerId SceneLayers::addPointCloud(osg::Node* cloud, bool visible)
{
    const LayerId id = ownId();
    return addPointCloud(id, cloud, visible) ? id : LayerScene::noLayer;
}

bool SceneLayers::addPointCloud(LayerId id, osg::Node* cloud, bool visible)
{
    if (id == LayerScene::noLayer || hasLayer(id) || !cloud)
        return false;
    addCloudLayer(optionsOf(id, LayerType::PointCloud, QString(), visible), cloud);
    return true;
}

void SceneLayers::addCloudLayer(const LayerOptions& options, osg::Node* cloud)
{
    requestFrame();
    const bool firstLayer = m_root->getNumChildren() == 0;
    attach(std::make_unique<CloudLayer>(options, cloud));
    if (firstLayer)
        m_hooks.firstLayerAdded();
}

void SceneLayers::attach(std::unique_ptr<SceneLayer> layer)
{
    if (osg::Node* node = layer->node())
        m_root->addChild(node);
    layer->setVisible(layer->isVisible());
    keep(std::move(layer));
}

void SceneLayers::keep(std::unique_ptr<SceneLayer> layer)
{
    const LayerId id = layer->options().id;
    m_order.push_back(id);
    m_layers[id] = std::move(layer);
}

bool SceneLayers::reloadLayer(LayerId id, QString* error)
{
    const SceneLayer* object = layer(id);
    if (!object)
        return failWith(error, tr("layer %1 has nothing in the scene to read again").arg(id));
    const LayerOptions options = object->options();
    removeLayer(id);
    // A bundle read again tells its new georeference through bundlePlaced.
    return loadLayer(id, options.type, QString::fromUtf8(options.file), options.visible, error);
}

// ------------------------------------------------------ show, hide, remove

void SceneLayers::setLayerVisible(LayerId id, bool visible)
{
    requestFrame();
    const auto found = m_layers.find(id);
    if (found != m_layers.end())
        found->second->setVisible(visible);
}

void SceneLayers::removeLayer(LayerId id)
{
    requestFrame();
    const auto found = m_layers.find(id);
    if (found == m_layers.end())
        return;
    const std::unique_ptr<SceneLayer> layer = std::move(found->second);
    m_layers.erase(found);
    m_order.erase(std::remove(m_order.begin(), m_order.end(), id), m_order.end());
    layer->detach(m_root.get());
    if (layer->type() != LayerType::PointCloud)
        return;
    const bool archiveLeft = std::any_of(m_layers.begin(), m_layers.end(), [](const auto& entry) {
        const auto* cloud = dynamic_cast<const CloudLayer*>(entry.second.get());
        return cloud && cloud->isArchive();
    });
    if (!archiveLeft)
        m_hooks.archivesGone();
}

// -------------------------------------------------------- what is loaded

const SceneLayer* SceneLayers::layer(LayerId id) const
{
    const auto found = m_layers.find(id);
    return found == m_layers.end() ? nullptr : found->second.get();
}

osg::Node* SceneLayers::layerNode(LayerId id) const
{
    const SceneLayer* object = layer(id);
    return object ? object->node() : nullptr;
}

osg::Node* SceneLayers::layerTop(LayerId id) const
{
    osg::Node* node = layerNode(id);
    if (!node || node->getNodeMask() == SceneLayer::hiddenMask)
        return nullptr;
    while (node->getNumParents() > 0 && node->getParent(0) != m_root.get())
        node = node->getParent(0);
    return node->getNumParents() > 0 ? node : nullptr;
}

SceneLayers::LayerId SceneLayers::bundleLayer(const SparseBundle* bundle) const
{
    for (const auto& [id, object] : m_layers) {
        const auto* layer = dynamic_cast<const BundleLayer*>(object.get());
        if (bundle && layer && &layer->bundle() == bundle)
            return id;
    }
    return LayerScene::noLayer;
}

QString SceneLayers::layerFile(LayerId id) const
{
    const SceneLayer* object = layer(id);
    return object ? object->file() : QString();
}

LayerSummary SceneLayers::layerSummary(LayerId id) const
{
    const SceneLayer* object = layer(id);
    return object ? object->summary() : LayerSummary();
}

int SceneLayers::referenceSystem() const
{
    // Reconstructions first, then the terrains.
    for (const bool bundles : {true, false})
        for (const LayerId id : m_order) {
            const SceneLayer* object = layer(id);
            if ((object->type() == LayerType::Bundle) == bundles && object->referenceSystem() > 0)
                return object->referenceSystem();
        }
    return 0;
}

std::vector<SparseBundle*> SceneLayers::sparseBundles() const
{
    std::vector<SparseBundle*> bundles;
    for (const LayerId id : m_order)
        if (const auto* bundle = dynamic_cast<const BundleLayer*>(layer(id)))
            bundles.push_back(&bundle->bundle());
    return bundles;
}

std::vector<osg::ref_ptr<osg::Node>> SceneLayers::nodesOf(LayerType::Code type) const
{
    std::vector<osg::ref_ptr<osg::Node>> nodes;
    for (const LayerId id : m_order) {
        const SceneLayer* object = layer(id);
        if (object->type() == type && object->node())
            nodes.emplace_back(object->node());
    }
    return nodes;
}

bool SceneLayers::exportLayerCloud(LayerId id, const QString& fileName, QString* message)
{
    const auto* cloud = dynamic_cast<const CloudLayer*>(layer(id));
    if (!cloud) {
        if (message)
            *message = tr("That layer holds no point cloud to export.");
        return false;
    }
    return cloud->exportTo(fileName, message);
}

// ------------------------------------------------------- annotation layers

bool SceneLayers::loadAnnotationLayer(LayerId id, LayerType::Code type, const QString& file, bool visible,
                                      const QString& appFolder, QString* error)
{
    requestFrame();
    if (id == LayerScene::noLayer || hasLayer(id))
        return failWith(error, file + tr(": layer %1 is taken").arg(id));
    const bool firstLayer = m_root->getNumChildren() == 0;
    AnnotationLayer* annotation = m_annotations->loadLayer(type, file, visible, appFolder, error);
    if (!annotation)
        return false;
    keep(std::make_unique<AnnotationSceneLayer>(optionsOf(id, type, file, visible), m_annotations.get(),
                                                annotation));
    if (firstLayer)
        m_hooks.firstLayerAdded();
    return true;
}

bool SceneLayers::addAnnotationLayer(LayerId id, LayerType::Code type, bool visible, const QString& appFolder)
{
    requestFrame();
    if (id == LayerScene::noLayer || hasLayer(id))
        return false;
    AnnotationLayer* annotation = m_annotations->createLayer(type, visible, appFolder);
    if (!annotation)
        return false;
    keep(std::make_unique<AnnotationSceneLayer>(optionsOf(id, type, QString(), visible), m_annotations.get(),
                                                annotation));
    return true;
}

AnnotationLayer* SceneLayers::annotationOf(LayerId id) const
{
    const auto* object = dynamic_cast<const AnnotationSceneLayer*>(layer(id));
    return object ? object->annotation() : nullptr;
}

void SceneLayers::appendAnnotation(LayerId id, const AnnotationRecord& record)
{
    requestFrame();
    if (AnnotationLayer* annotation = annotationOf(id))
        annotation->addRecord(record);
}

bool SceneLayers::setAnnotationVolume(LayerId id, int index, const RecordVolume& volume)
{
    AnnotationLayer* annotation = annotationOf(id);
    return annotation && annotation->setVolume(index, volume);
}

QVector<AnnotationRecord> SceneLayers::annotationRecords(LayerId id) const
{
    const AnnotationLayer* annotation = annotationOf(id);
    return annotation ? annotation->records() : QVector<AnnotationRecord>();
}

void SceneLayers::toggleAnnotationLabels(LayerId id)
{
    requestFrame();
    if (AnnotationLayer* annotation = annotationOf(id))
        annotation->toggleLabels();
}

bool SceneLayers::saveAnnotationLayer(LayerId id, const QString& file, QString* error)
{
    return AnnotationScene::save(annotationOf(id), file, error);
}
