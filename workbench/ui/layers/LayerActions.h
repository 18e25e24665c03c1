#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

#include "ui/layers/LayerTree.h"

class OsgWidget;
class PropertyWindow;
class QAbstractButton;
class QPoint;
class QStandardItem;
class QTreeView;
class QWidget;

// What the window's layer actions do: data files added as layers, folders,
// removing, exporting point clouds, saving annotation edits and labels, the
// layer tree's context menu and the property windows it refreshes, and the
// selection box's points extracted as a new layer. Messages for the status
// bar and the log view leave as signals.
class LayerActions : public QObject
{
    Q_OBJECT
public:
    using LayerId = LayerTree::LayerId;

    // Dialogs and message boxes open on window; the property windows are its children.
    LayerActions(QWidget* window, LayerTree* layers, QTreeView* view, OsgWidget* scene);

    // See MainWindow::addLayer and MainWindow::addDataFiles.
    QStandardItem* addLayer(const QString& file, const QString& displayName, bool visible,
                            QStandardItem* parent);
    void addDataFiles(const QStringList& paths);
    // "Add Data": asks for the files, then adds them.
    void openData();

    // The context menu of the tree item at pos; a chosen entry hands its command to run.
    void showContextMenu(const QPoint& pos, const std::function<void(LayerTree::MenuCommand)>& run);
    // The item the last context menu was opened on.
    QStandardItem* menuItem() const { return m_menuItem; }

    void addProjectFolder();
    void addFolderInFolder();
    void changeFolderSymbol();
    void removeCurrentLayer();
    // A folder that still holds layers stays, and the user is told so.
    void removeCurrentFolder();
    // "Zoom To" on the item the menu was opened on: its layer, the layers in
    // a folder, or every layer of the project, seen from the top.
    void zoomToMenuItem();
    void removeAll();

    // Asks where to write the current point cloud layer, then writes it.
    void exportCurrentCloud();
    // Writes point cloud layer `index` as ASCII PLY, reporting in the status bar.
    bool exportCloudAt(int index, const QString& fileName);
    bool exportCloud(LayerId id, const QString& fileName);

    // The three property windows: 1 general, 2 point clouds, 3 reconstructions.
    PropertyWindow* propertyWindow(int kind) const;

    // The current tree item's layer when it is of that type.
    LayerId currentLayerId(LayerType::Code type) const;
    // "Save Edits" of the current annotation layer of that type.
    void saveEdits(LayerType::Code type);
    void toggleLabels(LayerType::Code type);

    // The points inside the selection box become a point cloud layer whose
    // file keeps them; the box is switched off (boxSwitch unchecked).
    void extractSelection(QAbstractButton* boxSwitch);

signals:
    void statusMessage(const QString& text, int timeoutMs);
    void logLine(const QString& line);

private:
    QStandardItem* placeLayer(const QString& file, const QString& displayName, bool visible,
                              QStandardItem* parent, LayerTree::Unreadable unreadable, QString* error);
    // Sets the property selection for a layer item (others keep it) and
    // rebuilds the property window of the selection's kind.
    void refreshProperties(QStandardItem* item);
    QStandardItem* currentItem() const;

    QWidget* m_window;
    LayerTree* m_layers;
    QTreeView* m_view;
    OsgWidget* m_scene;
    PropertyWindow* m_propertyGeneral;
    PropertyWindow* m_propertyModel;
    PropertyWindow* m_propertyBundle;
    QStandardItem* m_menuItem = nullptr;
};
