#include "scene/view/OsgWidget.h"

#include "scene/layers/PointCloudLoader.h"

#include "core/formats/BundleLoader.h"
#include "scene/layers/BundleSceneBuilder.h"
#include "scene/sensors/DynamicPopup.h"
#include "scene/view/GLWidget.h"
#include "scene/view/GraphicsWindowQt.h"
#include "scene/interaction/MapController.h"
#include "scene/interaction/MapManipulator.h"
#include "core/platform/PlatformPaths.h"
#include "scene/view/SceneBound.h"
#include "scene/interaction/SmartManipulator.h"
#include "scene/layers/VertexShifter.h"
#include "scene/view/ViewStatsHandler.h"
#include "core/sensors/comReader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QImage>
#include <QListWidget>
#include <QTimerEvent>

#include <osg/Math>
#include <osgDB/ReadFile>
#include <osgDB/WriteFile>
#include <osgGA/FirstPersonManipulator>
#include <osgGA/MultiTouchTrackballManipulator>
#include <osgGA/OrbitManipulator>
#include <osgGA/SphericalManipulator>
#include <osgGA/TerrainManipulator>
#include <osgGA/TrackballManipulator>
#include <osgUtil/IncrementalCompileOperation>
#include <osgViewer/ViewerEventHandlers>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace
{

constexpr osg::Node::NodeMask hiddenMask = 0x0;
constexpr osg::Node::NodeMask shownMask = ~0x0u;

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
    std::printf("%s\n", text.toLocal8Bit().constData());
    std::fflush(stdout);
    if (error)
        *error = text;
    return false;
}

} // namespace

OsgWidget::OsgWidget(osgViewer::ViewerBase::ThreadingModel threadingModel, QListWidget* logList,
                     QWidget* parent)
    : QWidget(parent), m_root(new osg::Group), m_log(logList),
      m_annotations(new AnnotationScene(m_root.get())), m_imageMatches(new ImageMatchScene(m_root.get()))
{
    // The viewer is driven from Qt's event loop; a key must never end it, and
    // Qt keeps the context for composing after every frame.
    setThreadingModel(threadingModel);
    setKeyEventSetsDone(0);
    setReleaseContextAtEndOfFrameHint(false);

    osg::ref_ptr<osg::GraphicsContext::Traits> traits = GraphicsWindowQt::defaultTraits();
    m_window = new GraphicsWindowQt(traits.get(), this);
    m_glWidget = m_window->getGLWidget();
    m_glWidget->setRenderCallback([this] { renderFrame(); });

    m_mapManipulator = new MapManipulator;
    m_smartManipulator = new SmartManipulator;
    m_manipulators = new osgGA::KeySwitchMatrixManipulator;
    m_manipulators->addMatrixManipulator('0', "Trackball", new osgGA::TrackballManipulator);
    m_manipulators->addMatrixManipulator('1', "Map", m_mapManipulator.get());
    m_manipulators->addMatrixManipulator('2', "Smart", m_smartManipulator.get());
    m_manipulators->addMatrixManipulator('3', "Terrain", new osgGA::TerrainManipulator);
    m_manipulators->addMatrixManipulator('4', "Orbit", new osgGA::OrbitManipulator);
    m_manipulators->addMatrixManipulator('5', "FirstPerson", new osgGA::FirstPersonManipulator);
    m_manipulators->addMatrixManipulator('6', "Spherical", new osgGA::SphericalManipulator);
    m_manipulators->addMatrixManipulator('7', "MultiTouch", new osgGA::MultiTouchTrackballManipulator);
    m_manipulators->selectMatrixManipulator(0);

    m_view = new osgViewer::View;
    addView(m_view.get());
    osg::Camera* camera = m_view->getCamera();
    camera->setGraphicsContext(m_window.get());
    camera->setClearColor(osg::Vec4(0.2f, 0.2f, 0.6f, 1.0f));
    camera->setViewport(new osg::Viewport(0, 0, traits->width, traits->height));
    camera->setProjectionMatrixAsPerspective(fieldOfView, double(traits->width) / double(traits->height), 1.0,
                                             10000.0);

    m_screenshot = new osg::Image;
    m_screenshot->allocateImage(traits->width, traits->height, 1, GL_RGB, GL_UNSIGNED_BYTE);

    m_sensors = std::make_unique<SensorDisplay>(m_root.get(), logList, QCoreApplication::applicationDirPath(),
                                                comReader::defaultPortName());
    // New readings recolour the nodes: a frame shows them.
    connect(m_sensors.get(), &SensorDisplay::sceneChanged, this, &OsgWidget::requestFrame);

    m_view->setSceneData(m_root.get());
    m_view->setCameraManipulator(new osgGA::TrackballManipulator);
    m_stats = new ViewStatsHandler([this](int key) {
        return activeManipulator() == m_mapManipulator.get() && MapManipulator::usesKey(key);
    });
    m_view->addEventHandler(m_stats.get());
    m_mapController = new MapController(m_view.get(), m_root.get(), m_mapManipulator.get());
    m_view->addEventHandler(m_mapController.get());
    m_view->addEventHandler(m_sensors->popupHandler());

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->addWidget(m_glWidget, 0, 0);
    setLayout(grid);

    // Paged archives: what the pager loads is compiled for the GPU a little
    // each frame and merged when ready, so one frame never uploads a burst.
    setIncrementalCompileOperation(new osgUtil::IncrementalCompileOperation);

    m_glWidget->installEventFilter(this);
    m_frameTimerId = startTimer(activeTickMs, Qt::CoarseTimer);
}

OsgWidget::~OsgWidget()
{
    killTimer(m_frameTimerId);
    // The viewer's base destructor closes the graphics window while the GL
    // widget (a Qt child) still exists, so OSG can free its GL objects with
    // the context current.
    m_glWidget->setRenderCallback({});
}

// ---------------------------------------------------------------- frame loop

void OsgWidget::renderFrame()
{
    m_frameRequested = false;
    frame();
    runLodControl();
    // The level-of-detail control measures runs of frames drawn one after
    // the other; a pause is idle time, not a slow frame.
    if (m_lod.isEnabled() && !frameWanted())
        m_lod.pause();
}

bool OsgWidget::frameWanted()
{
    if (m_frameRequested || checkNeedToDoFrame() || (m_sensors && m_sensors->isAnimating()))
        return true;
    // A manipulator moved by a call rather than by input (a standard view, a
    // bookmark, the code of a tool) has not reached the camera yet.
    const osgGA::CameraManipulator* manipulator = m_view->getCameraManipulator();
    return manipulator && manipulator->getInverseMatrix() != getCamera()->getViewMatrix();
}

void OsgWidget::requestFrame()
{
    m_frameRequested = true;
    wake();
}

void OsgWidget::setTick(int milliseconds)
{
    if (m_tickMs == milliseconds)
        return;
    killTimer(m_frameTimerId);
    m_frameTimerId = startTimer(milliseconds, Qt::CoarseTimer);
    m_tickMs = milliseconds;
}

void OsgWidget::wake()
{
    m_quietTicks = 0;
    setTick(activeTickMs);
}

bool OsgWidget::eventFilter(QObject* watched, QEvent* event)
{
    // Input reaches the viewer through the graphics window's event queue;
    // the timer must look at it soon.
    if (watched == m_glWidget) {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::MouseMove:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Resize:
            wake();
            break;
        default:
            break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void OsgWidget::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_frameTimerId) {
        QWidget::timerEvent(event);
        return;
    }
    // A QOpenGLWidget can only present what it drew inside paintGL, so a tick
    // asks for a paint; Qt folds ticks that come faster than the screen.
    // Without a context (no display) every repaint would only fail again.
    // A tick with nothing to show draws nothing: an idle view costs no CPU.
    if (!m_glWidget->isVisible() || !m_glWidget->isValid())
        return;
    if (frameWanted()) {
        wake();
        m_glWidget->update();
    } else if (m_tickMs == activeTickMs && ++m_quietTicks >= ticksBeforeIdle) {
        setTick(idleTickMs);
    }
}

void OsgWidget::paintEvent(QPaintEvent* event)
{
    QWidget::paintEvent(event);
    if (m_glWidget->isValid())
        m_glWidget->update();
}

void OsgWidget::enableLodControl()
{
    const osg::FrameStamp* stamp = getViewerFrameStamp();
    m_lod.enable(stamp ? stamp->getReferenceTime() : 0.0, stamp ? stamp->getFrameNumber() : 0);
    requestFrame();
}

void OsgWidget::runLodControl()
{
    if (!m_lod.isEnabled())
        return;
    const osg::FrameStamp* stamp = getViewerFrameStamp();
    if (!stamp)
        return;
    osg::Camera* camera = getCamera();
    camera->setLODScale(
        float(m_lod.update(stamp->getReferenceTime(), stamp->getFrameNumber(), camera->getLODScale())));
}

// ------------------------------------------------------------------- loading

void OsgWidget::forgetOriginWhenEmpty()
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
    m_mapController->setSceneOrigin(osg::Vec3d());
}

void OsgWidget::adoptOrigin(const PointShift& shift, const QString& source)
{
    if (m_origin.isSet() || !shift.chosenOrigin().isSet())
        return;
    m_origin = shift.chosenOrigin();
    m_mapController->setSceneOrigin(m_origin.value());
    const QString line = tr("Scene origin %1, taken from %2: its large coordinates are kept relative to it, "
                            "and every position is still shown and written in full.")
                             .arg(m_origin.text(), source);
    std::printf("%s\n", line.toLocal8Bit().constData());
    std::fflush(stdout);
    if (m_log)
        m_log->addItem(line);
}

bool OsgWidget::loadBundle(const QString& fileName, bool visible, QString* error)
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
    std::printf("%s\n", companion.toLocal8Bit().constData());
    GeoReference geo;
    const bool placed = GeoReference::read(companion, geo);
    adoptOrigin(result.shift, fileName);
    addBundle(std::move(bundle), result.vertices, result.colours, placed ? &geo : nullptr, visible,
              result.shift.offset());
    return true;
}

int OsgWidget::addBundle(std::unique_ptr<SparseBundle> bundle, const NvmReader::VertexArrays& vertices,
                         const NvmReader::ColourArrays& colours, const GeoReference* geo, bool visible,
                         const osg::Vec3d& offset)
{
    requestFrame();
    const bool firstLayer = m_root->getNumChildren() == 0;
    BundleSceneBuilder(m_root.get(), geo, offset).build(*bundle, vertices, colours);
    m_sparseBundles.push_back(std::move(bundle));
    const int index = int(m_sparseBundles.size()) - 1;
    if (index == 0)
        m_imageMatches->setGeoReference(geo); // the viewers' cameras come from the first bundle
    // A bundle adds a point group and a frustum per camera at once, so "the
    // first layer" is an empty root before the load, not a root of one child.
    if (firstLayer && m_root->getNumChildren() > 0)
        showTop();
    if (!visible)
        hideBundle(index);
    return index;
}

bool OsgWidget::loadModel(const QString& fileName, bool visible, QString* error)
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
        showTop();
    return true;
}

bool OsgWidget::loadTerrain(const QString& fileName, QString* error)
{
    requestFrame();
    osg::ref_ptr<osg::Node> node = osgDB::readNodeFile(localPath(fileName));
    if (!node)
        return failWith(error, fileName + tr(": the scene-graph library cannot read this terrain"));
    m_terrains.push_back(node);
    m_root->addChild(node.get());
    std::printf("Read\n");
    std::fflush(stdout);
    return true;
}

bool OsgWidget::loadPointCloud(const QString& fileName, bool visible, QString* error)
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
        enableLodControl();
    addPointCloud(r.group.get(), r.archive || visible);
    return true;
}

bool OsgWidget::exportLayerCloud(LayerId id, const QString& fileName, QString* message)
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

bool OsgWidget::exportPointCloud(const QString& fileName, int index, QString* message)
{
    if (!inRange(m_pointClouds, index) || !m_pointClouds[size_t(index)]->asGroup()) {
        if (message)
            *message = tr("There is no point cloud %1 to export.").arg(index);
        return false;
    }
    return PointCloudLoader::exportPointCloud(fileName, m_pointClouds[size_t(index)]->asGroup(), message);
}

bool OsgWidget::loadLayer(LayerId id, LayerType::Code type, const QString& file, bool visible, QString* error)
{
    if (id == noLayer || hasLayer(id))
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
        if (!loadTerrain(file, error))
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
    m_layerObjects[id] = object;
    return true;
}

const OsgWidget::LayerObject* OsgWidget::layerObject(LayerId id) const
{
    const auto found = m_layerObjects.find(id);
    return found == m_layerObjects.end() ? nullptr : &found->second;
}

osg::Node* OsgWidget::layerNode(LayerId id) const
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

int OsgWidget::bundleIndex(const SparseBundle* bundle) const
{
    for (size_t i = 0; i < m_sparseBundles.size(); ++i)
        if (m_sparseBundles[i].get() == bundle)
            return int(i);
    return -1;
}

void OsgWidget::setLayerVisible(LayerId id, bool visible)
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

void OsgWidget::removeLayer(LayerId id)
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
    default: break;
    }
}

void OsgWidget::forgetObject(const osg::Node* node, const SparseBundle* bundle)
{
    requestFrame();
    for (auto it = m_layerObjects.begin(); it != m_layerObjects.end();) {
        const bool gone = (node && it->second.node.get() == node) || (bundle && it->second.bundle == bundle);
        it = gone ? m_layerObjects.erase(it) : std::next(it);
    }
}

int OsgWidget::addPointCloud(LayerId id, osg::Node* cloud, bool visible)
{
    if (id == noLayer || hasLayer(id) || !cloud)
        return -1;
    const int index = addPointCloud(cloud, visible);
    LayerObject object;
    object.type = LayerType::PointCloud;
    object.node = cloud;
    m_layerObjects[id] = object;
    return index;
}

LayerSummary OsgWidget::layerSummary(LayerId id) const
{
    const LayerObject* object = layerObject(id);
    if (!object)
        return LayerSummary();
    if (object->bundle)
        return LayerSummary::ofBundle(*object->bundle);
    return object->node ? LayerSummary::ofNode(object->node.get()) : LayerSummary();
}

int OsgWidget::addPointCloud(osg::Node* cloud, bool visible)
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
            showTop();
    }
    return int(m_pointClouds.size()) - 1;
}

// -------------------------------------------------------- hide / show / remove

bool OsgWidget::validBundle(int index) const
{
    return index >= 0 && index < int(m_sparseBundles.size());
}

void OsgWidget::setBundleMask(int index, osg::Node::NodeMask mask)
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

void OsgWidget::hideBundle(int index)
{
    setBundleMask(index, hiddenMask);
}
void OsgWidget::showBundle(int index)
{
    setBundleMask(index, shownMask);
}

void OsgWidget::detachFromRoot(osg::Node* node)
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

void OsgWidget::removeBundle(int index)
{
    requestFrame();
    if (!validBundle(index))
        return;
    SparseBundle& bundle = *m_sparseBundles[size_t(index)];
    forgetObject(nullptr, &bundle);
    for (size_t m = 0; m < bundle.bundleCameras.size(); ++m) {
        std::printf("sparseBundles[index]->bundleCameras[m].size()= %zu\n", bundle.bundleCameras[m].size());
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
    std::fflush(stdout);
}

void OsgWidget::hidePointSet(int bundle, int set)
{
    requestFrame();
    if (!validBundle(bundle))
        return;
    auto& groups = m_sparseBundles[size_t(bundle)]->sparsePoints;
    if (set >= 0 && set < int(groups.size()) && groups[size_t(set)])
        groups[size_t(set)]->setNodeMask(hiddenMask);
}

void OsgWidget::showPointSet(int bundle, int set)
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

void OsgWidget::hideCamera(int bundle, int model, int camera)
{
    requestFrame();
    if (!validBundle(bundle))
        return;
    BundleCamera* c = cameraAt(*m_sparseBundles[size_t(bundle)], model, camera);
    if (c && c->transform)
        c->transform->setNodeMask(hiddenMask);
}

void OsgWidget::showCamera(int bundle, int model, int camera)
{
    requestFrame();
    if (!validBundle(bundle))
        return;
    BundleCamera* c = cameraAt(*m_sparseBundles[size_t(bundle)], model, camera);
    if (c && c->transform)
        c->transform->setNodeMask(shownMask);
}

void OsgWidget::hideModel(int index)
{
    requestFrame();
    if (inRange(m_models, index))
        m_models[size_t(index)]->setNodeMask(hiddenMask);
}

void OsgWidget::showModel(int index)
{
    requestFrame();
    if (inRange(m_models, index))
        m_models[size_t(index)]->setNodeMask(shownMask);
}

void OsgWidget::removeModel(int index)
{
    requestFrame();
    if (!inRange(m_models, index))
        return;
    m_models[size_t(index)]->setNodeMask(hiddenMask);
    detachFromRoot(m_models[size_t(index)].get());
    forgetObject(m_models[size_t(index)].get());
    m_models.erase(m_models.begin() + index);
}

void OsgWidget::hidePointCloud(int index)
{
    requestFrame();
    if (inRange(m_pointClouds, index))
        m_pointClouds[size_t(index)]->setNodeMask(hiddenMask);
}

void OsgWidget::showPointCloud(int index)
{
    requestFrame();
    if (inRange(m_pointClouds, index))
        m_pointClouds[size_t(index)]->setNodeMask(shownMask);
}

void OsgWidget::removePointCloud(int index)
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
    if (m_lod.isEnabled() && !archiveLeft) {
        m_lod.disable();
        getCamera()->setLODScale(1.0f);
    }
}

// ------------------------------------------------------------ standard views

osgGA::CameraManipulator* OsgWidget::activeManipulator() const
{
    osgGA::CameraManipulator* manipulator = m_view->getCameraManipulator();
    // The set's own home() does nothing; its current entry is what moves.
    if (auto* set = dynamic_cast<osgGA::KeySwitchMatrixManipulator*>(manipulator))
        manipulator = set->getCurrentMatrixManipulator();
    return manipulator;
}

bool OsgWidget::standardEye(const QString& name, const osg::BoundingSphered& bound, double width,
                            double height, osg::Vec3d& eye)
{
    const double fov = osg::DegreesToRadians(fieldOfView);
    const double d = std::fabs((2.0 * bound.radius() / (2.0 * std::tan(fov / 2.0))) * (width / height));
    const osg::Vec3d c = bound.center();
    if (name == QLatin1String("Top"))
        eye = c + osg::Vec3d(0, 0, d);
    else if (name == QLatin1String("Bottom"))
        eye = c - osg::Vec3d(0, 0, d);
    else if (name == QLatin1String("Left"))
        eye = c - osg::Vec3d(d, 0, 0);
    else if (name == QLatin1String("Right"))
        eye = c + osg::Vec3d(d, 0, 0);
    else if (name == QLatin1String("Front"))
        eye = c - osg::Vec3d(0, d, 0);
    else if (name == QLatin1String("Back"))
        eye = c + osg::Vec3d(0, d, 0);
    else
        return false;
    return true;
}

osg::BoundingSphered OsgWidget::sceneBound() const
{
    return SceneBound::of(*m_root);
}

void OsgWidget::showStandardView(const QString& name)
{
    requestFrame();
    const osg::BoundingSphered bound = sceneBound();
    // An empty scene has no centre to look at.
    if (!bound.valid())
        return;
    const osg::Viewport* viewport = getCamera()->getViewport();
    if (!viewport || viewport->height() <= 0)
        return;
    osg::Vec3d eye;
    if (!standardEye(name, bound, viewport->width(), viewport->height(), eye))
        return;
    osgGA::CameraManipulator* manipulator = activeManipulator();
    if (!manipulator)
        return;
    manipulator->setHomePosition(eye, bound.center(), osg::Vec3d(0, 0, 1), false);
    manipulator->home(0.0);
    m_glWidget->update();
}

void OsgWidget::showTop()
{
    showStandardView(QStringLiteral("Top"));
}
void OsgWidget::showBottom()
{
    showStandardView(QStringLiteral("Bottom"));
}
void OsgWidget::showLeft()
{
    showStandardView(QStringLiteral("Left"));
}
void OsgWidget::showRight()
{
    showStandardView(QStringLiteral("Right"));
}
void OsgWidget::showFront()
{
    showStandardView(QStringLiteral("Front"));
}
void OsgWidget::showBack()
{
    showStandardView(QStringLiteral("Back"));
}

// ----------------------------------------------------------------- bookmarks

int OsgWidget::bookmarkCount() const
{
    return int(m_bookmarks.size());
}

void OsgWidget::createBookmark()
{
    Bookmark mark;
    getCamera()->getViewMatrixAsLookAt(mark.eye, mark.centre, mark.up, 1.0);
    if (int(m_bookmarks.size()) >= maxBookmarks) {
        m_bookmarks.pop_front();
        std::printf("bookmarkSt.size()= %zu\n", m_bookmarks.size());
        std::fflush(stdout);
    }
    m_bookmarks.push_back(mark);
}

void OsgWidget::goToBookmark(int index)
{
    requestFrame();
    if (index < 0 || index >= int(m_bookmarks.size()))
        return;
    const Bookmark& mark = m_bookmarks[size_t(index)];
    osgGA::CameraManipulator* manipulator = activeManipulator();
    if (!manipulator)
        return;
    // The view the bookmark was saved with: its own eye, direction and up,
    // whatever layers came or went since.
    manipulator->setHomePosition(mark.eye, mark.centre, mark.up, false);
    manipulator->home(0.0);
    m_glWidget->update();
}

void OsgWidget::setBookmarks(const std::deque<Bookmark>& bookmarks)
{
    m_bookmarks = bookmarks;
    while (int(m_bookmarks.size()) > maxBookmarks)
        m_bookmarks.pop_front();
}

// --------------------------------------------------------------- manipulators

void OsgWidget::selectManipulator(int index)
{
    requestFrame();
    if (index < 0 || index >= int(m_manipulators->getNumMatrixManipulators()))
        return;
    // Keep the camera where it is while the driving manipulator changes.
    const osg::Matrixd viewMatrix = getCamera()->getViewMatrix();
    m_manipulators->selectMatrixManipulator(unsigned(index));
    if (m_view->getCameraManipulator() != m_manipulators.get())
        m_view->setCameraManipulator(m_manipulators.get(), false);
    m_manipulators->setByInverseMatrix(viewMatrix);
}

// -------------------------------------------------------------- selection box

void OsgWidget::setBoxX(double x)
{
    m_mapController->setBoxX(x);
}
void OsgWidget::setBoxY(double y)
{
    m_mapController->setBoxY(y);
}
void OsgWidget::setBoxZ(double z)
{
    m_mapController->setBoxZ(z);
}
void OsgWidget::setBoxR(double degrees)
{
    m_mapController->setBoxR(degrees);
}
void OsgWidget::setSelectWidth(double x)
{
    m_mapController->setSelectWidth(x);
}
void OsgWidget::setSelectHeight(double z)
{
    m_mapController->setSelectHeight(z);
}
void OsgWidget::setSelectDepth(double y)
{
    m_mapController->setSelectDepth(y);
}
void OsgWidget::turnOnSelectBox(bool on)
{
    m_mapController->turnOnSelectBox(on);
}

osg::ref_ptr<osg::Group> OsgWidget::extractSelection()
{
    // The points keep their place relative to the scene origin, as the
    // clouds they come from do.
    PointShift shift(m_origin);
    osg::ref_ptr<osg::Geode> points = m_mapController->extractBox(shift);
    if (!points)
        return nullptr;
    osg::ref_ptr<osg::Group> cloud = new osg::Group;
    cloud->getOrCreateStateSet()->setMode(GL_LIGHTING, osg::StateAttribute::OFF | osg::StateAttribute::OVERRIDE);
    cloud->addChild(points.get());
    adoptOrigin(shift, tr("the extracted selection"));
    return PointCloudLoader::placeAt(cloud.get(), shift.offset());
}

int OsgWidget::extractBox()
{
    osg::ref_ptr<osg::Group> cloud = extractSelection();
    return cloud ? addPointCloud(cloud.get(), true) : -1;
}

// ----------------------------------------------------------------- screenshot

QString OsgWidget::screenshotPath()
{
    return PlatformPaths::fromWindowsPath(QStringLiteral("C:/Orvalis/screenshot.bmp"));
}

bool OsgWidget::captureScreen()
{
    if (!m_window->hasContext() && !m_glWidget->isVisible()) {
        std::printf("No rendered frame to capture\n");
        std::fflush(stdout);
        return false;
    }
    // Renders a fresh frame and reads it back from the widget's framebuffer.
    const QImage frame = m_glWidget->grabFramebuffer().convertToFormat(QImage::Format_RGB888);
    if (frame.isNull() || !m_window->hasContext()) {
        std::printf("No rendered frame to capture\n");
        std::fflush(stdout);
        return false;
    }
    const int width = frame.width();
    const int height = frame.height();
    if (m_screenshot->s() != width || m_screenshot->t() != height)
        m_screenshot->allocateImage(width, height, 1, GL_RGB, GL_UNSIGNED_BYTE);
    // OSG images start at the bottom row.
    for (int row = 0; row < height; ++row)
        std::memcpy(m_screenshot->data(0, height - 1 - row), frame.constScanLine(row), size_t(width) * 3);
    m_screenshot->dirty();

    const QString path = screenshotPath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        std::printf("Cannot create the folder of %s\n", path.toLocal8Bit().constData());
        std::fflush(stdout);
        return false;
    }
    if (!osgDB::writeImageFile(*m_screenshot, localPath(path)))
        return false;
    std::printf("passed\n");
    std::fflush(stdout);
    return true;
}

// ------------------------------------------------------- annotation layers

bool OsgWidget::loadAnnotationLayer(LayerId id, LayerType::Code type, const QString& file, bool visible,
                                    const QString& appFolder, QString* error)
{
    requestFrame();
    if (id == noLayer || hasLayer(id))
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
        showTop();
    return true;
}

bool OsgWidget::addAnnotationLayer(LayerId id, LayerType::Code type, bool visible, const QString& appFolder)
{
    requestFrame();
    if (id == noLayer || hasLayer(id))
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

void OsgWidget::appendAnnotation(LayerId id, const AnnotationRecord& record)
{
    requestFrame();
    const LayerObject* object = layerObject(id);
    if (object && object->annotation)
        object->annotation->addRecord(record);
}

QVector<AnnotationRecord> OsgWidget::annotationRecords(LayerId id) const
{
    const LayerObject* object = layerObject(id);
    return object && object->annotation ? object->annotation->records() : QVector<AnnotationRecord>();
}

void OsgWidget::toggleAnnotationLabels(LayerId id)
{
    requestFrame();
    const LayerObject* object = layerObject(id);
    if (object && object->annotation)
        object->annotation->toggleLabels();
}

bool OsgWidget::saveAnnotationLayer(LayerId id, const QString& file, QString* error)
{
    const LayerObject* object = layerObject(id);
    return AnnotationScene::save(object ? object->annotation : nullptr, file, error);
}
