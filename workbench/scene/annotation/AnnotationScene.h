#pragma once

#include <QString>
#include <QVector>

#include <osg/Group>
#include <osg/ref_ptr>

#include <memory>
#include <vector>

#include "scene/annotation/AnnotationLayer.h"
#include "core/annotation/AnnotationRecord.h"
#include "core/formats/LayerType.h"

// The scene's two lists of annotation layers, points and polygons, in the
// order they were added. Layers hang under the root. A layer keeps its
// address for as long as it is in a list, so the view can hold it by pointer.
class AnnotationScene
{
public:
    explicit AnnotationScene(osg::Group* root) : m_root(root) {}

    // Reads the KML file as a layer of that type. A file that gives no record
    // of that type adds nothing: null, with the reader's reason in error.
    AnnotationLayer* loadLayer(LayerType::Code type, const QString& file, bool visible,
                               const QString& appFolder, QString* error = nullptr);
    // An empty layer at the end of the type's list.
    AnnotationLayer* createLayer(LayerType::Code type, bool visible, const QString& appFolder);
    int addLayer(LayerType::Code type, bool visible, const QString& appFolder);
    void append(LayerType::Code type, int index, const AnnotationRecord& record);
    // Indices outside the list are ignored (null for layer()).
    AnnotationLayer* layer(LayerType::Code type, int index) const;
    int indexOf(const AnnotationLayer* layer) const;
    int count(LayerType::Code type) const;
    void setVisible(LayerType::Code type, int index, bool visible);
    void toggleLabels(LayerType::Code type, int index);
    void remove(LayerType::Code type, int index);
    void remove(AnnotationLayer* layer);
    // Writes the layer's records to file (its name is the file's name). A
    // layer without records is not written: an empty document would take the
    // place of whatever the file holds.
    static bool save(const AnnotationLayer* layer, const QString& file, QString* error = nullptr);
    bool save(LayerType::Code type, const QString& file, int index, QString* error = nullptr) const;

private:
    std::vector<std::unique_ptr<AnnotationLayer>>* list(LayerType::Code type);
    const std::vector<std::unique_ptr<AnnotationLayer>>* list(LayerType::Code type) const;

    osg::ref_ptr<osg::Group> m_root;
    std::vector<std::unique_ptr<AnnotationLayer>> m_points;
    std::vector<std::unique_ptr<AnnotationLayer>> m_polygons;
};
