#pragma once

#include <QString>
#include <QVector>

#include "AnnotationRecord.h"
#include "LayerType.h"

// What the layer tree asks of the 3D view: per layer type a list of scene
// objects, indexed like the tree's per-type layer lists.
class LayerScene
{
public:
    virtual ~LayerScene() = default;

    // Loads a layer's file into the scene, appending to the type's list.
    virtual void loadLayer(LayerType::Code type, const QString& file, bool visible) = 0;
    // Out-of-range indices are ignored.
    virtual void setLayerVisible(LayerType::Code type, int index, bool visible) = 0;
    virtual void removeLayer(LayerType::Code type, int index) = 0;

    // Annotation layers (Points, Polygons). Loading always appends a layer,
    // empty when the file cannot be read, and gives the records it shows;
    // appFolder is where the find code icons lie.
    virtual QVector<AnnotationRecord> loadAnnotationLayer(LayerType::Code type, const QString& file,
                                                          bool visible, const QString& appFolder)
    {
        Q_UNUSED(appFolder);
        loadLayer(type, file, visible);
        return {};
    }
    // Appends an empty layer and returns its index.
    virtual int addAnnotationLayer(LayerType::Code type, bool visible, const QString& appFolder)
    {
        Q_UNUSED(type);
        Q_UNUSED(visible);
        Q_UNUSED(appFolder);
        return -1;
    }
    virtual void appendAnnotation(LayerType::Code type, int index, const AnnotationRecord& record)
    {
        Q_UNUSED(type);
        Q_UNUSED(index);
        Q_UNUSED(record);
    }
    virtual QVector<AnnotationRecord> annotationRecords(LayerType::Code type, int index) const
    {
        Q_UNUSED(type);
        Q_UNUSED(index);
        return {};
    }
    virtual void toggleAnnotationLabels(LayerType::Code type, int index)
    {
        Q_UNUSED(type);
        Q_UNUSED(index);
    }
};
