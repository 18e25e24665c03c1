#pragma once

#include <functional>

#include "core/project/ProjectDocument.h"

class LayerTree;
class MyListWidget;
class QStandardItem;
class QTreeView;

// Moves a project between the window's tree, layer lists and image list and
// the document that the project reader and writer handle.
class ProjectFile
{
public:
    using AddLayer = std::function<QStandardItem*(const QString& file, const QString& name, bool visible,
                                                  QStandardItem* parent)>;

    static ProjectDocument gather(const LayerTree& tree, const MyListWidget& images);

    // Rebuilds folders under the project root, adds every layer under the
    // first folder that names it (the root when none does) and fills the image list.
    static void apply(const ProjectDocument& doc, LayerTree& tree, MyListWidget& images, QTreeView* view,
                      const AddLayer& addLayer);
};
