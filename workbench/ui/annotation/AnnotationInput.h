#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QVector>

#include <osg/Array>
#include <osg/ref_ptr>

#include <functional>

#include "core/annotation/AnnotationPicker.h"
#include "core/annotation/AnnotationRecord.h"
#include "core/annotation/AnnotationStore.h"
#include "core/annotation/LayerScene.h"
#include "core/formats/LayerType.h"

class LayerTree;
class PointForm;
class PolygonForm;
class QStandardItem;
class QWidget;

// The annotation input behind the "Points" and "Polygons" panels: input
// modes, positions from picks and from the ground station, the day layers,
// and recording a find or a locus outline into its layer, its day file, the
// scene and the tree.
class AnnotationInput : public QObject
{
    Q_OBJECT
public:
    // Adds a layer from its file under the project root (the window's "Add
    // Data" path, so the item is expanded like any other).
    using LayerAdder =
        std::function<QStandardItem*(LayerType::Code type, const QString& file, const QString& name)>;

    // What a "&Record" press came to.
    struct Outcome {
        bool recorded = false;
        QString message; // for a message box; empty when there is nothing to say
    };

    AnnotationInput(PointForm* pointForm, PolygonForm* polygonForm, LayerTree* tree, LayerScene* scene,
                    osg::ref_ptr<osg::Vec3dArray> vertices, QObject* parent = nullptr);

    // Reads the value files of appFolder's project folder into both forms.
    void setApplicationFolder(const QString& appFolder);
    void setLayerAdder(LayerAdder adder) { m_addLayer = std::move(adder); }
    // The picking side; null detaches it (no picks, no markers).
    void setPicker(AnnotationPicker* picker) { m_picker = picker ? picker : &m_noPicker; }
    // Gets the keyboard focus back after every mode change and record.
    void setFocusTarget(QWidget* view) { m_focusTarget = view; }

    AnnotationStore& store() { return m_store; }
    const AnnotationStore& store() const { return m_store; }
    bool pointInput() const { return m_pointInput; }
    bool polygonInput() const { return m_polygonInput; }
    const osg::Vec3dArray& vertices() const { return *m_vertices; }

    void setPointInput(bool on);
    void setPolygonInput(bool on);
    // "&Get Coord" / "&Get Vertice": the picking side's new pick, if any.
    void takePickForPoint();
    void takePickForPolygon();
    // A position from the ground station goes to whichever input is on.
    void receivePosition(const osg::Vec3d& position);
    void addVertex(const osg::Vec3d& vertex);

    // Keeps both forms on one date and makes that day's layers current.
    void dateSet();
    Outcome recordPoint();
    Outcome recordPolygon();

public slots:
    // A layer added from its file: when it is the current day's, its last
    // record sets the form's basket and the next id.
    void onAnnotationLayerAdded(LayerType::Code type, const QString& name,
                                const QVector<AnnotationRecord>& records);

signals:
    // Input of that type stopped by a record: it no longer needs the command server.
    void commandServerStopRequested(LayerType::Code type);
    // A day layer made for its first record.
    void layerItemCreated(QStandardItem* item);

private:
    // The current day layer of that type, made or loaded when needed;
    // noLayer when it cannot be had.
    LayerScene::LayerId currentLayer(LayerType::Code type, bool create);
    // The current day layer of that type if it is in the tree.
    LayerScene::LayerId dayLayer(LayerType::Code type) const;
    void presetFrom(LayerType::Code type, const AnnotationRecord& last);
    void focusView();
    void stopInput(LayerType::Code type);
    QString writeDayFile(LayerType::Code type, LayerScene::LayerId id);

    PointForm* m_pointForm;
    PolygonForm* m_polygonForm;
    LayerTree* m_tree;
    LayerScene* m_scene;
    osg::ref_ptr<osg::Vec3dArray> m_vertices;
    AnnotationStore m_store;
    LayerAdder m_addLayer;
    AnnotationPicker m_noPicker;
    AnnotationPicker* m_picker = &m_noPicker;
    QPointer<QWidget> m_focusTarget;
    bool m_pointInput = false;
    bool m_polygonInput = false;
};
