#pragma once

#include <QStandardItemModel>

// The item model under the layer tree. It keeps the project root the only
// top-level row: a drop on empty space or above the root lands under the
// root, and only the root and folders take drops (layers hold no children).
class LayerModel : public QStandardItemModel
{
    Q_OBJECT
public:
    using QStandardItemModel::QStandardItemModel;

    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

private:
    // Where a drop at (row, parent) really goes: the root or a folder, with
    // the row there; invalid when the place takes no drops.
    QModelIndex dropTarget(const QModelIndex& parent, int& row) const;
};
