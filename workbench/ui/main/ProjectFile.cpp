#include "ui/main/ProjectFile.h"

#include <QHash>

#include <algorithm>
#include <climits>
#include <QStandardItemModel>
#include <QTreeView>

#include "ui/layers/LayerTree.h"
#include "ui/images/MyListWidget.h"

namespace {

QVector<ProjectDocument::Node> gatherChildren(const QStandardItem* parent)
{
    QVector<ProjectDocument::Node> nodes;
    for (int r = 0; r < parent->rowCount(); ++r) {
        const QStandardItem* item = parent->child(r);
        ProjectDocument::Node node;
        node.text = item->text();
        switch (item->data(LayerTree::ItemKindRole).toInt()) {
        case LayerTree::LayerKind:
            node.kind = ProjectDocument::Node::Layer;
            node.type = LayerTree::typeOf(item);
            break;
        case LayerTree::FolderKind:
            node.kind = ProjectDocument::Node::Folder;
            node.children = gatherChildren(item);
            break;
        default: // type and record children are not part of the tree section
            continue;
        }
        nodes.append(node);
    }
    return nodes;
}

struct Placement
{
    QStandardItem* parent;
    QString name;
    int order; // position among the parent's children in the file
};

void build(const QVector<ProjectDocument::Node>& nodes, QStandardItem* parent, LayerTree& tree, QTreeView* view,
           QVector<Placement>& placements, QHash<QStandardItem*, int>& order)
{
    for (int i = 0; i < nodes.size(); ++i) {
        const ProjectDocument::Node& node = nodes[i];
        if (node.kind == ProjectDocument::Node::Layer) {
            placements.append({parent, node.text, i});
            continue;
        }
        QStandardItem* folder = tree.addFolder(parent);
        folder->setText(node.text);
        order.insert(folder, i);
        if (view)
            view->expand(parent->index());
        build(node.children, folder, tree, view, placements, order);
    }
}

// Layers arrive section by section; put the new rows of a folder back into
// the order the file gives them.
void restoreOrder(QStandardItem* parent, int firstNewRow, const QHash<QStandardItem*, int>& order, QTreeView* view)
{
    QList<QList<QStandardItem*>> rows;
    while (parent->rowCount() > firstNewRow)
        rows.append(parent->takeRow(firstNewRow));
    std::stable_sort(rows.begin(), rows.end(), [&](const QList<QStandardItem*>& a, const QList<QStandardItem*>& b) {
        return order.value(a.first(), INT_MAX) < order.value(b.first(), INT_MAX);
    });
    for (const QList<QStandardItem*>& row : rows) {
        parent->appendRow(row);
        if (view && row.first()->hasChildren())
            view->expand(row.first()->index());
    }
}

} // namespace

ProjectDocument ProjectFile::gather(const LayerTree& tree, const MyListWidget& images)
{
    ProjectDocument doc;
    if (const QStandardItem* root = tree.projectRoot())
        doc.tree = gatherChildren(root);
    // Each layer is written with the file it was loaded from, under the name
    // its item shows and with its item's check state.
    for (const LayerTree::Layer& layer : tree.layers())
        doc.layers[layer.type].append(tree.options(layer.id));
    for (int i = 0; i < images.count(); ++i) {
        const QString name = images.item(i)->text();
        doc.images.append({images.pathOf(images.item(i)), name});
    }
    return doc;
}

void ProjectFile::apply(const ProjectDocument& doc, LayerTree& tree, MyListWidget& images, QTreeView* view,
                        const AddLayer& addLayer)
{
    images.clearImages();
    QStandardItem* root = tree.projectRoot();
    const int firstRootRow = root->rowCount();
    QVector<Placement> placements;
    QHash<QStandardItem*, int> order;
    build(doc.tree, root, tree, view, placements, order);
    QHash<QStandardItem*, int> parents{{root, firstRootRow}};
    for (const Placement& p : placements)
        if (!parents.contains(p.parent)) // folders made here are sorted whole
            parents.insert(p.parent, order.contains(p.parent) ? 0 : p.parent->rowCount());
    for (LayerType::Code t : LayerType::all()) {
        for (const ProjectDocument::Layer& layer : doc.layers[t]) {
            const Placement* place = nullptr;
            for (const Placement& p : placements)
                if (p.name == layer.name) {
                    place = &p;
                    break;
                }
            QStandardItem* item = addLayer(QString::fromUtf8(layer.file), layer.name, layer.visible,
                                           place ? place->parent : root);
            if (item && place)
                order.insert(item, place->order);
        }
    }
    for (auto it = parents.cbegin(); it != parents.cend(); ++it)
        restoreOrder(it.key(), it.value(), order, view);
    for (const ProjectDocument::Image& image : doc.images)
        images.addImage(image.originalFilename, image.nameFromList);
}
