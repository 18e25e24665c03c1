#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <QVector>
#include <QWidget>

#include <osg/Group>
#include <osg/Image>
#include <osg/ref_ptr>
#include <osgGA/KeySwitchMatrixManipulator>
#include <osgViewer/CompositeViewer>
#include <osgViewer/View>

#include <deque>
#include <memory>
#include <vector>

#include "core/annotation/LayerScene.h"
#include "core/formats/NvmReader.h"
#include "core/formats/SceneOrigin.h"
#include "core/formats/SparseBundle.h"
#include "core/georef/GeoReference.h"
#include "scene/annotation/AnnotationScene.h"
#include "scene/images/ImageMatchScene.h"
#include "scene/interaction/MapController.h"
#include "scene/layers/LayerSummary.h"
#include "scene/layers/SceneLayers.h"
#include "scene/sensors/SensorDisplay.h"
#include "scene/view/LodControl.h"
#include "scene/view/RedrawLimiter.h"
#include "scene/view/ViewControl.h"

class GLWidget;
class GraphicsWindowQt;
class MapManipulator;
class QListWidget;
class SmartManipulator;
class ViewStatsHandler;

// The central 3D view: a Qt widget that is also the OpenSceneGraph viewer
// rendering into it, drawing frames on demand. Owns the scene root; the
// loaded layers live in SceneLayers, the camera's standard views, bookmarks
// and manipulator choice in ViewControl, picking in MapController.
class OsgWidget : public QWidget, public osgViewer::CompositeViewer, public LayerScene
{
    Q_OBJECT
public:
    using Bookmark = ViewControl::Bookmark;
    static constexpr int maxBookmarks = ViewControl::maxBookmarks;
    static constexpr double fieldOfView = ViewControl::fieldOfView; // vertical, degrees

    // logList is the window's log list, where the sensor display keeps the
    // stream's latest entries; the view's own messages go to the LogSink.
    OsgWidget(osgViewer::ViewerBase::ThreadingModel threadingModel, QListWidget* logList,
              QWidget* parent = nullptr);
    ~OsgWidget() override;

    osg::Group* getRoot() const { return m_root.get(); }
    osgViewer::View* getOsgView() const { return m_view.get(); }
    osg::Camera* getCamera() const { return m_view->getCamera(); }
    GraphicsWindowQt* graphicsWindow() const { return m_window.get(); }
    GLWidget* glWidget() const { return m_glWidget; }
    MapManipulator* mapManipulator() const { return m_mapManipulator.get(); }
    SmartManipulator* smartManipulator() const { return m_smartManipulator.get(); }
    osgGA::KeySwitchMatrixManipulator* manipulatorSet() const { return m_manipulators.get(); }
    // The manipulator that moves the camera now (inside the set once one is selected).
    osgGA::CameraManipulator* activeManipulator() const;

    // Loading. Each returns whether something was added to the scene; a
    // file that gives nothing adds nothing, and error (when given) says why.
    bool loadBundle(const QString& fileName, bool visible, QString* error = nullptr);
    // Adds an already read bundle: builds its nodes (placed by geo when given),
    // keeps it in sparseBundles, shows "Top" for the first layer, hides it when
    // not visible. offset is what the points are stored relative to. Returns
    // the layer id it is kept under.
    LayerId addBundle(std::unique_ptr<SparseBundle> bundle, const NvmReader::VertexArrays& vertices,
                  const NvmReader::ColourArrays& colours, const GeoReference* geo, bool visible,
                  const osg::Vec3d& offset = osg::Vec3d());
    bool loadModel(const QString& fileName, bool visible, QString* error = nullptr);
    bool loadTerrain(const QString& fileName, QString* error = nullptr);
    // Reads a point cloud file (PLY, PTS, XYB, patch, paged archive, or any
    // file the scene-graph library reads) and appends it to the clouds.
    bool loadPointCloud(const QString& fileName, bool visible, QString* error = nullptr);
    // Writes the arrays of a layer's cloud as ASCII PLY; false with a message
    // when the layer holds no cloud or it cannot be written.
    bool exportLayerCloud(LayerId id, const QString& fileName, QString* message = nullptr);

    // What the layer tree asks of the view: scene objects by layer id.
    bool loadLayer(LayerId id, LayerType::Code type, const QString& file, bool visible,
                   QString* error = nullptr) override;
    void setLayerVisible(LayerId id, bool visible) override;
    void removeLayer(LayerId id) override;
    // Whether a scene object stands for the layer.
    bool hasLayer(LayerId id) const;
    // The object that stands for a layer: its options, nodes and summary;
    // null for an id no layer has.
    const SceneLayer* layer(LayerId id) const { return m_layers->layer(id); }
    // The ids of the loaded layers in the order of loading; those loaded
    // here without the tree's id have ids below zero.
    const std::vector<LayerId>& layerIds() const { return m_layers->layerIds(); }
    // The scene object of a layer: the node of a mesh, terrain or point
    // cloud, the points of a bundle's first model, an annotation layer's group.
    osg::Node* layerNode(LayerId id) const;
    // The layer a loaded bundle stands for (noLayer when none) and the file a layer was read from.
    LayerId bundleLayer(const SparseBundle* bundle) const;
    QString layerFile(LayerId id) const;
    // Reads a layer's file again in its place (same id and visibility): a
    // reconstruction whose georeference changed.
    bool reloadLayer(LayerId id, QString* error = nullptr);
    // "Zoom To": looks from the top at the layers, filling the view with them.
    // False when none of them shows anything.
    bool zoomToLayers(const QVector<LayerId>& ids);
    bool reloadLayer(LayerId id, LayerType::Code type, const QString& file, bool visible,
                     QString* error = nullptr) override;
    // The point cloud readers hand their finished group here; the layer id
    // it is kept under, noLayer for no cloud.
    LayerId addPointCloud(osg::Node* cloud, bool visible);

    // The one double-precision origin of the scene: chosen by the first
    // layer with large (survey) coordinates, which says so in the log view;
    // unset while the scene holds only layers near the true origin, and
    // given up when the last point layer is gone.
    const SceneOrigin& sceneOrigin() const { return m_layers->sceneOrigin(); }
    // The EPSG code of the scene's survey coordinates (0 while none is known).
    int referenceSystem() const;
    // A cloud made here (an extracted selection) becomes the layer's object.
    bool addPointCloud(LayerId id, osg::Node* cloud, bool visible);

    // Annotation point and polygon layers.
    bool loadAnnotationLayer(LayerId id, LayerType::Code type, const QString& file, bool visible,
                             const QString& appFolder, QString* error = nullptr) override;
    bool addAnnotationLayer(LayerId id, LayerType::Code type, bool visible,
                            const QString& appFolder) override;
    void appendAnnotation(LayerId id, const AnnotationRecord& record) override;
    QVector<AnnotationRecord> annotationRecords(LayerId id) const override;
    bool setAnnotationVolume(LayerId id, int index, const RecordVolume& volume) override;
    void toggleAnnotationLabels(LayerId id) override;
    // Writes an annotation layer's records back to file ("Save Edits"); a
    // layer without records leaves the file alone.
    bool saveAnnotationLayer(LayerId id, const QString& file, QString* error = nullptr);
    AnnotationScene* annotations() const { return m_layers->annotations(); }

    // What the property windows show of a layer; empty for an id no layer has.
    LayerSummary layerSummary(LayerId id) const;

    // The loaded layers of a kind, in the order of loading.
    std::vector<SparseBundle*> sparseBundles() const { return m_layers->sparseBundles(); }
    std::vector<osg::ref_ptr<osg::Node>> models() const { return m_layers->models(); }
    std::vector<osg::ref_ptr<osg::Node>> terrains() const { return m_layers->terrains(); }
    std::vector<osg::ref_ptr<osg::Node>> pointClouds() const { return m_layers->pointClouds(); }

    // The image viewers' match sets and shared selections, and the shapes extracted from them.
    ImageMatchScene* imageMatches() const { return m_imageMatches.get(); }

    // Folder of the last loaded NVM file with "/" appended.
    QString imageFolder() const { return m_layers->imageFolder(); }
    void setImageFolder(const QString& folder) { m_layers->setImageFolder(folder); }

    // Standard views of the whole scene.
    void showTop();
    void showBottom();
    void showLeft();
    void showRight();
    void showFront();
    void showBack();
    // "Top", "Bottom", "Left", "Right", "Front" or "Back"; other names do nothing.
    void showStandardView(const QString& name);
    // The eye of a standard view for a scene bound seen through a viewport of
    // the given size; false for unknown names.
    static bool standardEye(const QString& name, const osg::BoundingSphered& bound, double width,
                            double height, osg::Vec3d& eye);
    // The whole scene's bound in double precision (the library's own is
    // float, coarse at survey coordinates).
    osg::BoundingSphered sceneBound() const;

    // Bookmarks: at most 11, oldest first.
    int bookmarkCount() const;
    void createBookmark();
    void goToBookmark(int index);
    const std::deque<Bookmark>& bookmarks() const;
    void setBookmarks(const std::deque<Bookmark>& bookmarks);

    // Writes the rendered frame as BMP to the screenshot path; prints "passed".
    bool captureScreen();
    static QString screenshotPath();
    osg::Image* screenshotImage() const { return m_screenshot.get(); }

    // Selects an entry of the manipulator set and lets it drive the view.
    void selectManipulator(int index);

    // Switched on when a paged point archive is loaded, off (with the
    // camera's LOD scale back at 1) when the last one is removed.
    void enableLodControl();
    void disableLodControl();
    bool lodControlEnabled() const { return m_lod.isEnabled(); }

    int frameTimerId() const { return m_frameTimerId; }

    // Frames are drawn on demand. A tick of the frame timer draws one only
    // when something asked for it: input in the view, a manipulator still
    // moving (View::requestContinuousUpdate), the pager loading or merging,
    // nodes that need update traversals and the sensors' smoke (animations),
    // new sensor readings, scene code calling View::requestRedraw(), a camera
    // manipulator moved by a call, or requestFrame() below.
    // Anything that changes the scene or the view outside the viewer's own
    // event handling asks for a frame through one of these.
    bool frameWanted();

    // The sensor network display (serial reader, stream thread, sensor
    // scene, popup handler); the view creates it and leaves it to the window.
    SensorDisplay* sensors() const { return m_sensors.get(); }

    // The picking controller: input modes, picked points and the selection box.
    MapController* mapController() const { return m_mapController.get(); }
    // The points inside the selection box as a point cloud group (lighting
    // off, like loaded clouds), not yet in the scene; null when the box
    // holds no point.
    osg::ref_ptr<osg::Group> extractSelection();
    // The same, appended to the point clouds. Returns its layer id, or
    // noLayer when nothing was extracted.
    LayerId extractBox();

    // The statistics handler (its keys rest while the map manipulator moves).
    ViewStatsHandler* statsHandler() const { return m_stats.get(); }

    // New sensor readings drawn at most this often a second.
    static constexpr int sensorFramesPerSecond = 10;

public slots:
    // One more frame at the next tick; requests in between come as one frame.
    void requestFrame();
    // Looks from the top at the sensor nodes, whatever else the scene holds.
    void frameSensors();

    // The selection box, forwarded to the picking controller.
    void setBoxX(double x) { m_mapController->setBoxX(x); }
    void setBoxY(double y) { m_mapController->setBoxY(y); }
    void setBoxZ(double z) { m_mapController->setBoxZ(z); }
    void setBoxR(double degrees) { m_mapController->setBoxR(degrees); }
    void setSelectWidth(double x) { m_mapController->setSelectWidth(x); }
    void setSelectHeight(double z) { m_mapController->setSelectHeight(z); }
    void setSelectDepth(double y) { m_mapController->setSelectDepth(y); }
    void turnOnSelectBox(bool on) { m_mapController->turnOnSelectBox(on); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;

private:
    // The frame timer ticks every millisecond while frames come; after a
    // quarter second without one it slows to idleTickMs, and a request or
    // input in the view brings it back at once.
    static constexpr int activeTickMs = 1;
    static constexpr int idleTickMs = 20;
    static constexpr int ticksBeforeIdle = 250;
    void setTick(int milliseconds);
    void wake();

    void renderFrame();
    void runLodControl();
    void sensorsChanged();
    // What the layers ask of the view.
    SceneLayers::Hooks layerHooks();

    osg::ref_ptr<osg::Group> m_root;
    osg::ref_ptr<osgViewer::View> m_view;
    osg::ref_ptr<GraphicsWindowQt> m_window;
    GLWidget* m_glWidget = nullptr;

    osg::ref_ptr<MapManipulator> m_mapManipulator;
    osg::ref_ptr<SmartManipulator> m_smartManipulator;
    osg::ref_ptr<osgGA::KeySwitchMatrixManipulator> m_manipulators;
    osg::ref_ptr<MapController> m_mapController;
    osg::ref_ptr<ViewStatsHandler> m_stats;

    osg::ref_ptr<osg::Image> m_screenshot;

    std::unique_ptr<SceneLayers> m_layers;
    std::unique_ptr<ImageMatchScene> m_imageMatches;
    std::unique_ptr<ViewControl> m_viewControl;
    LodControl m_lod;
    int m_frameTimerId = 0;
    bool m_frameRequested = true; // the first frame
    int m_tickMs = activeTickMs;
    int m_quietTicks = 0;
    QElapsedTimer m_clock;
    RedrawLimiter m_sensorRedraws{sensorFramesPerSecond};
    QTimer m_sensorFrame; // the sensors' next frame when it must wait
    // Last, so its thread is joined before anything else of the view goes.
    std::unique_ptr<SensorDisplay> m_sensors;
};
