#include "ui/layers/LayerModel.h"

#include "ui/layers/LayerTree.h"

QModelIndex LayerModel::dropTarget(const QModelIndex& parent, int& row) const
{
    if (!parent.isValid()) {
        const QModelIndexList roots =
            match(index(0, 0), LayerTree::ItemKindRole, LayerTree::ProjectKind, 1, Qt::MatchExactly);
        if (roots.isEmpty())
            return QModelIndex();
        // Above the root: first under it; below it or on empty space: last.
        row = row >= 0 && row <= roots.first().row() ? 0 : -1;
        return roots.first();
    }
    const int kind = parent.data(LayerTree::ItemKindRole).toInt();
    if (kind != LayerTree::ProjectKind && kind != LayerTree::FolderKind)
        return QModelIndex();
    return parent;
}

bool LayerModel::canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                 const QModelIndex& parent) const
{
    const QModelIndex target = dropTarget(parent, row);
    return target.isValid() && QStandardItemModel::canDropMimeData(data, action, row, column, target);
}

bool LayerModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                              const QModelIndex& parent)
{
    const QModelIndex target = dropTarget(parent, row);
    if (!target.isValid() || !QStandardItemModel::canDropMimeData(data, action, row, column, target))
        return false;
    return QStandardItemModel::dropMimeData(data, action, row, column < 0 ? 0 : column, target);
}
