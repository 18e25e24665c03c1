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
#include "scene/layers/SceneLayer.h"

// The layers loaded into the 3D view's scene: one SceneLayer object per
// layer id (reconstructions, meshes, terrains, point clouds, annotation
// layers), kept in the order of loading, and the scene's one double-precision
// origin. OsgWidget's loading, showing, hiding and removing of layers is done
// here, for every kind through its layer object; what the view does in turn
// (a frame, the first standard view, the level-of-detail control, the
// picking origin) it is told through its hooks. Its messages for the user go
// to the LogSink.
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

    // Layers loaded without a layer id of the tree get one of their own,
    // below zero. See OsgWidget for each of these.
    bool loadBundle(const QString& fileName, bool visible, QString* error);
    LayerId addBundle(std::unique_ptr<SparseBundle> bundle, const NvmReader::VertexArrays& vertices,
                      const NvmReader::ColourArrays& colours, const GeoReference* geo, bool visible,
                      const osg::Vec3d& offset);
    bool loadModel(const QString& fileName, bool visible, QString* error);
    // A mesh, an elevation model or orthophoto GeoTIFF (the DSM draped with
    // the orthophoto, in the scene's reference system), or the lines of a
    // contour GeoPackage at their heights (refused in another reference
    // system than the scene's).
    bool loadTerrain(const QString& fileName, bool visible, QString* error);
    // The EPSG code of the scene's survey coordinates: the first loaded
    // reconstruction's georeference that names one, else the first raster
    // terrain's; 0 while none does.
    int referenceSystem() const;
    bool loadPointCloud(const QString& fileName, bool visible, QString* error);
    bool exportLayerCloud(LayerId id, const QString& fileName, QString* message);

    bool loadLayer(LayerId id, LayerType::Code type, const QString& file, bool visible, QString* error);
    void setLayerVisible(LayerId id, bool visible);
    void removeLayer(LayerId id);
    bool hasLayer(LayerId id) const { return m_layers.count(id) > 0; }
    // The object of a layer id; null when none stands for it.
    const SceneLayer* layer(LayerId id) const;
    osg::Node* layerNode(LayerId id) const;
    // The subtree the root holds for a layer shown now, its georeference and
    // origin transforms inside it (for a reconstruction, its sparse points);
    // null when it shows nothing.
    osg::Node* layerTop(LayerId id) const;
    LayerId bundleLayer(const SparseBundle* bundle) const;
    QString layerFile(LayerId id) const;
    bool reloadLayer(LayerId id, QString* error);
    // A cloud made in the view; its id, noLayer for none.
    LayerId addPointCloud(osg::Node* cloud, bool visible);
    bool addPointCloud(LayerId id, osg::Node* cloud, bool visible);

    bool loadAnnotationLayer(LayerId id, LayerType::Code type, const QString& file, bool visible,
                             const QString& appFolder, QString* error);
    bool addAnnotationLayer(LayerId id, LayerType::Code type, bool visible, const QString& appFolder);
    void appendAnnotation(LayerId id, const AnnotationRecord& record);
    QVector<AnnotationRecord> annotationRecords(LayerId id) const;
    bool setAnnotationVolume(LayerId id, int index, const RecordVolume& volume);
    void toggleAnnotationLabels(LayerId id);
    bool saveAnnotationLayer(LayerId id, const QString& file, QString* error);
    AnnotationScene* annotations() const { return m_annotations.get(); }

    LayerSummary layerSummary(LayerId id) const;

    // The ids of the loaded layers in the order of loading.
    const std::vector<LayerId>& layerIds() const { return m_order; }
    // The loaded layers of a kind, in the order of loading.
    std::vector<SparseBundle*> sparseBundles() const;
    std::vector<osg::ref_ptr<osg::Node>> models() const { return nodesOf(LayerType::Mesh); }
    std::vector<osg::ref_ptr<osg::Node>> terrains() const { return nodesOf(LayerType::Terrain); }
    std::vector<osg::ref_ptr<osg::Node>> pointClouds() const { return nodesOf(LayerType::PointCloud); }

    QString imageFolder() const { return m_imageFolder; }
    void setImageFolder(const QString& folder) { m_imageFolder = folder; }
    const SceneOrigin& sceneOrigin() const { return m_origin; }

    // Takes the origin a layer chose for a scene that had none, and says so.
    void adoptOrigin(const PointShift& shift, const QString& source);

private:
    void requestFrame();
    LayerId ownId() { return --m_lastOwnId; }
    bool loadBundleLayer(const LayerOptions& options, QString* error);
    LayerId addBundleLayer(const LayerOptions& options, std::unique_ptr<SparseBundle> bundle,
                           const NvmReader::VertexArrays& vertices, const NvmReader::ColourArrays& colours,
                           const GeoReference* geo, const osg::Vec3d& offset);
    bool loadModelLayer(const LayerOptions& options, QString* error);
    bool loadTerrainLayer(const LayerOptions& options, QString* error);
    bool loadCloudLayer(const LayerOptions& options, QString* error);
    void addCloudLayer(const LayerOptions& options, osg::Node* cloud);
    // Puts the layer's node under the root, shown or hidden as its options say.
    void attach(std::unique_ptr<SceneLayer> layer);
    void keep(std::unique_ptr<SceneLayer> layer);
    std::vector<osg::ref_ptr<osg::Node>> nodesOf(LayerType::Code type) const;
    AnnotationLayer* annotationOf(LayerId id) const;
    // Gives up the origin when no layer keeps points relative to it any more.
    void forgetOriginWhenEmpty();

    Hooks m_hooks;
    osg::ref_ptr<osg::Group> m_root;
    std::unique_ptr<AnnotationScene> m_annotations;
    std::map<LayerId, std::unique_ptr<SceneLayer>> m_layers;
    std::vector<LayerId> m_order;
    LayerId m_lastOwnId = LayerScene::noLayer;
    QString m_imageFolder;
    SceneOrigin m_origin;
};
