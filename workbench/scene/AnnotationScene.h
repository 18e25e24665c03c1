#pragma once

#include <QString>
#include <QVector>

#include <osg/Group>
#include <osg/ref_ptr>

#include <memory>
#include <vector>

#include "AnnotationLayer.h"
#include "AnnotationRecord.h"
#include "LayerType.h"

// The scene's two lists of annotation layers, points and polygons, indexed
// like the layer tree's lists of those types. Layers hang under the root.
class AnnotationScene
{
public:
    explicit AnnotationScene(osg::Group* root) : m_root(root) {}

    // Reads the KML file as a layer of that type; an unreadable file still
    // appends an (empty) layer so the indices stay in step with the tree.
    QVector<AnnotationRecord> load(LayerType::Code type, const QString& file, bool visible,
                                   const QString& appFolder, QString* error = nullptr);
    int addLayer(LayerType::Code type, bool visible, const QString& appFolder);
    void append(LayerType::Code type, int index, const AnnotationRecord& record);
    // Indices outside the list are ignored (null for layer()).
    AnnotationLayer* layer(LayerType::Code type, int index) const;
    int count(LayerType::Code type) const;
    void setVisible(LayerType::Code type, int index, bool visible);
    void toggleLabels(LayerType::Code type, int index);
    void remove(LayerType::Code type, int index);
    // Writes layer index's records to file (its name is the file's name).
    bool save(LayerType::Code type, const QString& file, int index, QString* error = nullptr) const;

private:
    std::vector<std::unique_ptr<AnnotationLayer>>* list(LayerType::Code type);
    const std::vector<std::unique_ptr<AnnotationLayer>>* list(LayerType::Code type) const;

    osg::ref_ptr<osg::Group> m_root;
    std::vector<std::unique_ptr<AnnotationLayer>> m_points;
    std::vector<std::unique_ptr<AnnotationLayer>> m_polygons;
};
