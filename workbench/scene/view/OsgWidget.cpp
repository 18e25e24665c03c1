#include "scene/view/OsgWidget.h"

#include "scene/view/SceneBound.h"

#include "scene/interaction/MapController.h"
#include "scene/layers/PointCloudLoader.h"
#include "scene/interaction/MapManipulator.h"
#include "scene/interaction/SmartManipulator.h"
#include "scene/sensors/DynamicPopup.h"
#include "scene/sensors/SensorScene.h"
#include "scene/view/GLWidget.h"
#include "scene/view/GraphicsWindowQt.h"
#include "scene/view/ScreenCapture.h"
#include "scene/view/ViewStatsHandler.h"
#include "core/sensors/comReader.h"

#include <QCoreApplication>
#include <QGridLayout>
#include <QTimerEvent>

#include <osgGA/FirstPersonManipulator>
#include <osgGA/MultiTouchTrackballManipulator>
#include <osgGA/OrbitManipulator>
#include <osgGA/SphericalManipulator>
#include <osgGA/TerrainManipulator>
#include <osgGA/TrackballManipulator>
#include <osgUtil/IncrementalCompileOperation>
#include <osgViewer/ViewerEventHandlers>

OsgWidget::OsgWidget(osgViewer::ViewerBase::ThreadingModel threadingModel, QListWidget* logList,
                     QWidget* parent)
    : QWidget(parent), m_root(new osg::Group),
      m_layers(std::make_unique<SceneLayers>(layerHooks(), m_root.get())),
      m_imageMatches(new ImageMatchScene(m_root.get())), m_viewControl(std::make_unique<ViewControl>(*this))
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
    // New readings recolour the nodes: a frame shows them, but readings come
    // faster than anyone can follow and each frame costs a core on software GL.
    m_sensorFrame.setSingleShot(true);
    m_sensorFrame.setTimerType(Qt::PreciseTimer);
    connect(&m_sensorFrame, &QTimer::timeout, this, [this] {
        m_sensorRedraws.drawn(m_clock.elapsed());
        requestFrame();
    });
    connect(m_sensors.get(), &SensorDisplay::sceneChanged, this, &OsgWidget::sensorsChanged);
    // Switched on, the nodes come into view.
    connect(m_sensors.get(), &SensorDisplay::switched, this, [this](bool on) {
        if (on)
            frameSensors();
    });
    m_clock.start();

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

SceneLayers::Hooks OsgWidget::layerHooks()
{
    SceneLayers::Hooks hooks;
    hooks.frameWanted = [this] { requestFrame(); };
    hooks.firstLayerAdded = [this] { showTop(); };
    hooks.archiveLoaded = [this] { enableLodControl(); };
    hooks.archivesGone = [this] { disableLodControl(); };
    hooks.originChanged = [this](const osg::Vec3d& origin) { m_mapController->setSceneOrigin(origin); };
    hooks.bundlePlaced = [this](const SparseBundle& bundle, const GeoReference* geo) {
        m_imageMatches->setGeoReference(bundle, geo);
    };

    return hooks;
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

void OsgWidget::sensorsChanged()
{
    if (m_sensorFrame.isActive())
        return; // the frame already waiting shows this change too
    const qint64 wait = m_sensorRedraws.change(m_clock.elapsed());
    if (wait == 0)
        requestFrame();
    else
        m_sensorFrame.start(int(wait));
}

void OsgWidget::frameSensors()
{
    if (m_sensors->scene() && m_sensors->scene()->group())
        m_viewControl->frameFromTop(*m_sensors->scene()->group());
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

void OsgWidget::enableLodControl()
{
    const osg::FrameStamp* stamp = getViewerFrameStamp();
    m_lod.enable(stamp ? stamp->getReferenceTime() : 0.0, stamp ? stamp->getFrameNumber() : 0);
    requestFrame();
}

void OsgWidget::disableLodControl()
{
    if (!m_lod.isEnabled())
        return;
    m_lod.disable();
    getCamera()->setLODScale(1.0f);
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

// ---------------------------------------------------------------- layers

bool OsgWidget::loadBundle(const QString& fileName, bool visible, QString* error)
{
    return m_layers->loadBundle(fileName, visible, error);
}

OsgWidget::LayerId OsgWidget::addBundle(std::unique_ptr<SparseBundle> bundle, const NvmReader::VertexArrays& vertices,
                         const NvmReader::ColourArrays& colours, const GeoReference* geo, bool visible,
                         const osg::Vec3d& offset)
{
    return m_layers->addBundle(std::move(bundle), vertices, colours, geo, visible, offset);
}

bool OsgWidget::loadModel(const QString& fileName, bool visible, QString* error)
{
    return m_layers->loadModel(fileName, visible, error);
}

bool OsgWidget::loadTerrain(const QString& fileName, QString* error)
{
    return m_layers->loadTerrain(fileName, true, error);
}

bool OsgWidget::loadPointCloud(const QString& fileName, bool visible, QString* error)
{
    return m_layers->loadPointCloud(fileName, visible, error);
}


bool OsgWidget::exportLayerCloud(LayerId id, const QString& fileName, QString* message)
{
    return m_layers->exportLayerCloud(id, fileName, message);
}

bool OsgWidget::loadLayer(LayerId id, LayerType::Code type, const QString& file, bool visible, QString* error)
{
    return m_layers->loadLayer(id, type, file, visible, error);
}

void OsgWidget::setLayerVisible(LayerId id, bool visible)
{
    m_layers->setLayerVisible(id, visible);
}

void OsgWidget::removeLayer(LayerId id)
{
    m_layers->removeLayer(id);
}

bool OsgWidget::hasLayer(LayerId id) const
{
    return m_layers->hasLayer(id);
}

osg::Node* OsgWidget::layerNode(LayerId id) const
{
    return m_layers->layerNode(id);
}

OsgWidget::LayerId OsgWidget::bundleLayer(const SparseBundle* bundle) const
{
    return m_layers->bundleLayer(bundle);
}

QString OsgWidget::layerFile(LayerId id) const
{
    return m_layers->layerFile(id);
}

bool OsgWidget::zoomToLayers(const QVector<LayerId>& ids)
{
    osg::BoundingSphered bound;
    // The subtree the root holds has the layer's transforms inside it, so
    // its bound is in the scene's own coordinates.
    for (LayerId id : ids)
        if (const osg::Node* top = m_layers->layerTop(id))
            bound.expandBy(SceneBound::of(*top));
    if (!bound.valid())
        return false;
    m_viewControl->frameFromTop(bound);
    return true;
}

bool OsgWidget::reloadLayer(LayerId id, QString* error)
{
    return m_layers->reloadLayer(id, error);
}

bool OsgWidget::reloadLayer(LayerId id, LayerType::Code type, const QString& file, bool visible,
                            QString* error)
{
    if (m_layers->hasLayer(id))
        return m_layers->reloadLayer(id, error);
    return m_layers->loadLayer(id, type, file, visible, error);
}

OsgWidget::LayerId OsgWidget::addPointCloud(osg::Node* cloud, bool visible)
{
    return m_layers->addPointCloud(cloud, visible);
}

bool OsgWidget::addPointCloud(LayerId id, osg::Node* cloud, bool visible)
{
    return m_layers->addPointCloud(id, cloud, visible);
}

LayerSummary OsgWidget::layerSummary(LayerId id) const
{
    return m_layers->layerSummary(id);
}

osg::ref_ptr<osg::Group> OsgWidget::extractSelection()
{
    // The points keep their place relative to the scene origin, as the
    // clouds they come from do.
    PointShift shift(m_layers->sceneOrigin());
    osg::ref_ptr<osg::Geode> points = m_mapController->extractBox(shift);
    if (!points)
        return nullptr;
    osg::ref_ptr<osg::Group> cloud = new osg::Group;
    cloud->getOrCreateStateSet()->setMode(GL_LIGHTING, osg::StateAttribute::OFF | osg::StateAttribute::OVERRIDE);
    cloud->addChild(points.get());
    m_layers->adoptOrigin(shift, tr("the extracted selection"));
    return PointCloudLoader::placeAt(cloud.get(), shift.offset());
}

OsgWidget::LayerId OsgWidget::extractBox()
{
    osg::ref_ptr<osg::Group> cloud = extractSelection();
    return cloud ? addPointCloud(cloud.get(), true) : noLayer;
}

bool OsgWidget::loadAnnotationLayer(LayerId id, LayerType::Code type, const QString& file, bool visible,
                                    const QString& appFolder, QString* error)
{
    return m_layers->loadAnnotationLayer(id, type, file, visible, appFolder, error);
}

bool OsgWidget::addAnnotationLayer(LayerId id, LayerType::Code type, bool visible, const QString& appFolder)
{
    return m_layers->addAnnotationLayer(id, type, visible, appFolder);
}

void OsgWidget::appendAnnotation(LayerId id, const AnnotationRecord& record)
{
    m_layers->appendAnnotation(id, record);
}

int OsgWidget::referenceSystem() const
{
    return m_layers->referenceSystem();
}

bool OsgWidget::setAnnotationVolume(LayerId id, int index, const RecordVolume& volume)
{
    return m_layers->setAnnotationVolume(id, index, volume);
}

QVector<AnnotationRecord> OsgWidget::annotationRecords(LayerId id) const
{
    return m_layers->annotationRecords(id);
}

void OsgWidget::toggleAnnotationLabels(LayerId id)
{
    m_layers->toggleAnnotationLabels(id);
}

bool OsgWidget::saveAnnotationLayer(LayerId id, const QString& file, QString* error)
{
    return m_layers->saveAnnotationLayer(id, file, error);
}

// ------------------------------------------------------------ view control

osgGA::CameraManipulator* OsgWidget::activeManipulator() const
{
    return m_viewControl->activeManipulator();
}

bool OsgWidget::standardEye(const QString& name, const osg::BoundingSphered& bound, double width,
                            double height, osg::Vec3d& eye)
{
    return ViewControl::standardEye(name, bound, width, height, eye);
}

osg::BoundingSphered OsgWidget::sceneBound() const
{
    return m_viewControl->sceneBound();
}

void OsgWidget::showStandardView(const QString& name)
{
    m_viewControl->showStandardView(name);
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

int OsgWidget::bookmarkCount() const
{
    return int(m_viewControl->bookmarks().size());
}

void OsgWidget::createBookmark()
{
    m_viewControl->createBookmark();
}

void OsgWidget::goToBookmark(int index)
{
    m_viewControl->goToBookmark(index);
}

const std::deque<OsgWidget::Bookmark>& OsgWidget::bookmarks() const
{
    return m_viewControl->bookmarks();
}

void OsgWidget::setBookmarks(const std::deque<Bookmark>& bookmarks)
{
    m_viewControl->setBookmarks(bookmarks);
}

void OsgWidget::selectManipulator(int index)
{
    m_viewControl->selectManipulator(index);
}

QString OsgWidget::screenshotPath()
{
    return ScreenCapture::screenshotPath();
}

bool OsgWidget::captureScreen()
{
    return ScreenCapture::capture(m_glWidget, m_window.get(), *m_screenshot);
}
