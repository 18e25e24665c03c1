#pragma once

#include <QString>
#include <QVector>

#include "core/annotation/AnnotationRecord.h"
#include "core/formats/LayerType.h"

// What the layer tree asks of the 3D view. Every layer has an id of its own,
// given by the tree when the layer is added and never reused; the view keeps
// its scene objects by that id, so neither a layer's name nor its position
// among other layers decides which object a check box or "Remove" acts on.
class LayerScene
{
public:
    using LayerId = int;
    static constexpr LayerId noLayer = 0;

    virtual ~LayerScene() = default;

    // Loads a layer's file into the scene under id. False, with the reader's
    // reason in error, when the file gave nothing to show; the scene then
    // holds nothing under id.
    virtual bool loadLayer(LayerId id, LayerType::Code type, const QString& file, bool visible,
                           QString* error = nullptr) = 0;
    // Unknown ids (layers without a scene object) are ignored.
    virtual void setLayerVisible(LayerId id, bool visible) = 0;
    virtual void removeLayer(LayerId id) = 0;

    // Annotation layers (Points, Polygons). Loading reads the file's records
    // (annotationRecords() gives them); appFolder is where the find code icons lie.
    virtual bool loadAnnotationLayer(LayerId id, LayerType::Code type, const QString& file, bool visible,
                                     const QString& appFolder, QString* error = nullptr)
    {
        Q_UNUSED(appFolder);
        return loadLayer(id, type, file, visible, error);
    }
    // An empty layer under id, for records still to come.
    virtual bool addAnnotationLayer(LayerId id, LayerType::Code type, bool visible, const QString& appFolder)
    {
        Q_UNUSED(id);
        Q_UNUSED(type);
        Q_UNUSED(visible);
        Q_UNUSED(appFolder);
        return false;
    }
    virtual void appendAnnotation(LayerId id, const AnnotationRecord& record)
    {
        Q_UNUSED(id);
        Q_UNUSED(record);
    }
    virtual QVector<AnnotationRecord> annotationRecords(LayerId id) const
    {
        Q_UNUSED(id);
        return {};
    }
    virtual void toggleAnnotationLabels(LayerId id) { Q_UNUSED(id); }
    // Keeps a volume in record index of a polygon layer; false when there is no such record.
    virtual bool setAnnotationVolume(LayerId id, int index, const RecordVolume& volume)
    {
        Q_UNUSED(id);
        Q_UNUSED(index);
        Q_UNUSED(volume);
        return false;
    }
    // Reads a layer's file again under the same id, for a file that was
    // rewritten; a layer not in the scene is loaded.
    virtual bool reloadLayer(LayerId id, LayerType::Code type, const QString& file, bool visible,
                             QString* error = nullptr)
    {
        removeLayer(id);
        return loadLayer(id, type, file, visible, error);
    }
};
