#pragma once

#include <QCoreApplication>
#include <QString>
#include <QVector>

#include <osg/Group>
#include <osg/ref_ptr>

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "core/annotation/LayerScene.h"
#include "core/formats/NvmReader.h"
#include "core/formats/PointShift.h"
#include "core/formats/SceneOrigin.h"
#include "core/formats/SparseBundle.h"
#include "core/georef/GeoReference.h"
#include "scene/annotation/AnnotationScene.h"
#include "scene/layers/LayerSummary.h"

// The layers loaded into the 3D view's scene: sparse bundles, meshes,
// terrains, point clouds and annotation layers, each list in the order of
// loading, the scene object of every layer id, and the scene's one
// double-precision origin. OsgWidget's loading, showing, hiding and removing
// of layers is done here; what the view does in turn (a frame, the first
// standard view, the level-of-detail control, the picking origin) it is told
// through its hooks. Its messages for the user go to the LogSink.
class SceneLayers
{
    Q_DECLARE_TR_FUNCTIONS(SceneLayers)
public:
    using LayerId = LayerScene::LayerId;

    struct Hooks {
        std::function<void()> frameWanted;
        // The root had no child before a layer gave it some.
        std::function<void()> firstLayerAdded;
        std::function<void()> archiveLoaded;
        // The last paged archive was removed.
        std::function<void()> archivesGone;
        std::function<void(const osg::Vec3d& origin)> originChanged;
        // A bundle was placed in the scene with its georeference (null: none),
        // by which the picks in its photos are placed.
        std::function<void(const SparseBundle& bundle, const GeoReference* geo)> bundlePlaced;
    };

    SceneLayers(const Hooks& hooks, osg::Group* root);
    ~SceneLayers();

    // See OsgWidget for each of these.
    bool loadBundle(const QString& fileName, bool visible, QString* error);
    int addBundle(std::unique_ptr<SparseBundle> bundle, const NvmReader::VertexArrays& vertices,
                  const NvmReader::ColourArrays& colours, const GeoReference* geo, bool visible,
                  const osg::Vec3d& offset);
    bool loadModel(const QString& fileName, bool visible, QString* error);
    bool loadTerrain(const QString& fileName, bool visible, QString* error);
    // An elevation model or orthophoto GeoTIFF: the DSM draped with the
    // orthophoto, put into the scene's reference system.
    bool loadRasterTerrain(const QString& fileName, bool visible, QString* error);
    // The lines of a contour GeoPackage, at their heights; refused in
    // another reference system than the scene's.
    bool loadContours(const QString& fileName, bool visible, QString* error);
    // The EPSG code of the scene's survey coordinates: the first loaded
    // reconstruction's georeference that names one, else the first raster
    // terrain's; 0 while none does.
    int referenceSystem() const;
    bool loadPointCloud(const QString& fileName, bool visible, QString* error);
    bool exportPointCloud(const QString& fileName, int index, QString* message);
    bool exportLayerCloud(LayerId id, const QString& fileName, QString* message);

    bool loadLayer(LayerId id, LayerType::Code type, const QString& file, bool visible, QString* error);
    void setLayerVisible(LayerId id, bool visible);
    void removeLayer(LayerId id);
    bool hasLayer(LayerId id) const { return m_layerObjects.count(id) > 0; }
    osg::Node* layerNode(LayerId id) const;
    // The subtree the root holds for a layer shown now, its georeference and
    // origin transforms inside it (for a reconstruction, its sparse points);
    // null when it shows nothing.
    osg::Node* layerTop(LayerId id) const;
    LayerId bundleLayer(const SparseBundle* bundle) const;
    QString layerFile(LayerId id) const;
    bool reloadLayer(LayerId id, QString* error);
    int addPointCloud(osg::Node* cloud, bool visible);
    int addPointCloud(LayerId id, osg::Node* cloud, bool visible);

    bool loadAnnotationLayer(LayerId id, LayerType::Code type, const QString& file, bool visible,
                             const QString& appFolder, QString* error);
    bool addAnnotationLayer(LayerId id, LayerType::Code type, bool visible, const QString& appFolder);
    void appendAnnotation(LayerId id, const AnnotationRecord& record);
    QVector<AnnotationRecord> annotationRecords(LayerId id) const;
    bool setAnnotationVolume(LayerId id, int index, const RecordVolume& volume);
    void toggleAnnotationLabels(LayerId id);
    bool saveAnnotationLayer(LayerId id, const QString& file, QString* error);
    AnnotationScene* annotations() const { return m_annotations.get(); }

    void hideBundle(int index);
    void showBundle(int index);
    void removeBundle(int index);
    void hidePointSet(int bundle, int set);
    void showPointSet(int bundle, int set);
    void hideCamera(int bundle, int model, int camera);
    void showCamera(int bundle, int model, int camera);
    void hideModel(int index);
    void showModel(int index);
    void removeModel(int index);
    void hidePointCloud(int index);
    void showPointCloud(int index);
    void removePointCloud(int index);

    LayerSummary layerSummary(LayerId id) const;

    const std::vector<std::unique_ptr<SparseBundle>>& sparseBundles() const { return m_sparseBundles; }
    const std::vector<osg::ref_ptr<osg::Node>>& models() const { return m_models; }
    const std::vector<osg::ref_ptr<osg::Node>>& terrains() const { return m_terrains; }
    const std::vector<osg::ref_ptr<osg::Node>>& pointClouds() const { return m_pointClouds; }

    QString imageFolder() const { return m_imageFolder; }
    void setImageFolder(const QString& folder) { m_imageFolder = folder; }
    const SceneOrigin& sceneOrigin() const { return m_origin; }

    // Takes the origin a layer chose for a scene that had none, and says so.
    void adoptOrigin(const PointShift& shift, const QString& source);

private:
    void requestFrame();
    // A terrain or contour node of survey coordinates: placed at its shift,
    // marked with its system, hidden when saved so.
    void addSurveyNode(osg::ref_ptr<osg::Node> content, const PointShift& shift, const QString& fileName, int epsg,
                       bool visible, bool firstLayer);
    void setBundleMask(int index, osg::Node::NodeMask mask);
    // Gives up the origin when no layer keeps points relative to it any more.
    void forgetOriginWhenEmpty();
    void detachFromRoot(osg::Node* node);
    bool validBundle(int index) const;
    int bundleIndex(const SparseBundle* bundle) const;
    // Drops the layer ids whose object was removed by index.
    void forgetObject(const osg::Node* node, const SparseBundle* bundle = nullptr);

    // The scene object of one layer id.
    struct LayerObject {
        LayerType::Code type = LayerType::None;
        osg::ref_ptr<osg::Node> node;          // meshes, terrains, point clouds
        SparseBundle* bundle = nullptr;        // owned by m_sparseBundles
        AnnotationLayer* annotation = nullptr; // owned by m_annotations
        QString file;
    };
    const LayerObject* layerObject(LayerId id) const;

    Hooks m_hooks;
    osg::ref_ptr<osg::Group> m_root;
    std::vector<std::unique_ptr<SparseBundle>> m_sparseBundles;
    std::vector<osg::ref_ptr<osg::Node>> m_models;
    std::vector<osg::ref_ptr<osg::Node>> m_terrains;
    std::vector<osg::ref_ptr<osg::Node>> m_pointClouds;
    std::unique_ptr<AnnotationScene> m_annotations;
    std::map<LayerId, LayerObject> m_layerObjects;
    QString m_imageFolder;
    SceneOrigin m_origin;
};
