#include "ui/layers/LayerActions.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QStandardItemModel>
#include <QTreeView>

#include <functional>

#include "core/georef/GeoReference.h"
#include "scene/layers/PointCloudLoader.h"
#include "scene/view/OsgWidget.h"
#include "ui/layers/PropertySelection.h"
#include "ui/layers/PropertyWindow.h"

LayerActions::LayerActions(QWidget* window, LayerTree* layers, QTreeView* view, OsgWidget* scene)
    : QObject(window), m_window(window), m_layers(layers), m_view(view), m_scene(scene),
      m_propertyGeneral(new PropertyWindow(window)), m_propertyModel(new PropertyWindow(window)),
      m_propertyBundle(new PropertyWindow(window))
{
}

QStandardItem* LayerActions::currentItem() const
{
    return m_layers->model()->itemFromIndex(m_view->currentIndex());
}

// ---- Adding layers --------------------------------------------------------------

QStandardItem* LayerActions::placeLayer(const QString& file, const QString& displayName, bool visible,
                                        QStandardItem* parent, LayerTree::Unreadable unreadable,
                                        QString* error)
{
    if (!parent)
        parent = m_layers->projectRoot();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QStandardItem* item = m_layers->addLayer(file, displayName, visible, parent, error, unreadable);
    QApplication::restoreOverrideCursor();
    if (item) {
        m_view->expand(item->index());
        m_view->expand(parent->index());
    }
    return item;
}

QStandardItem* LayerActions::addLayer(const QString& file, const QString& displayName, bool visible,
                                      QStandardItem* parent)
{
    QString error;
    QStandardItem* item = placeLayer(file, displayName, visible, parent, LayerTree::Unreadable::Keep, &error);
    if (!error.isEmpty())
        emit logLine(tr("Layer %1: %2").arg(displayName, error));
    return item;
}

void LayerActions::openData()
{
    QFileDialog dialog(m_window, QString(), QString(), QString());
    dialog.setFileMode(QFileDialog::ExistingFiles);
    dialog.setNameFilter(
        tr("Data Files (*.out *.nvm *.patch *.ply *.obj *.pts *.osga *.osg *.osgb *.tif *.tiff *.xyb *.kml *.ant)"));
    dialog.setWindowTitle(tr("Add Data"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    addDataFiles(dialog.selectedFiles());
}

void LayerActions::addDataFiles(const QStringList& paths)
{
    for (const QString& path : paths) {
        if (path.isEmpty()) {
            emit statusMessage(tr("File not loaded, empty"), 2000);
            continue;
        }
        const QString name = path.mid(path.lastIndexOf('/') + 1);
        // The DSM and the orthophoto of one folder make one terrain layer.
        if (QStandardItem* shown = m_layers->itemOf(m_layers->terrainShowing(path))) {
            const QString text = tr("%1 is already shown as layer %2").arg(name, shown->text());
            emit logLine(text);
            emit statusMessage(text, 5000);
            continue;
        }
        QString error;
        if (placeLayer(path, name, true, m_layers->projectRoot(), LayerTree::Unreadable::Drop, &error)) {
            if (!error.isEmpty())
                emit logLine(error); // what a reader passed over in a file it did read
            emit statusMessage(tr("File loaded"), 2000);
        } else {
            emit logLine(tr("File not loaded: %1").arg(error));
            emit statusMessage(tr("File not loaded: %1 (see the Log View)").arg(name), 5000);
        }
    }
}

// ---- Context menu and folders ------------------------------------------------------

void LayerActions::showContextMenu(const QPoint& pos, const std::function<void(LayerTree::MenuCommand)>& run)
{
    const QModelIndex index = m_view->indexAt(pos);
    if (!index.isValid())
        return;
    m_menuItem = m_layers->model()->itemFromIndex(index);
    const QVector<LayerTree::MenuEntry> entries = m_layers->contextMenu(m_menuItem);
    if (entries.isEmpty())
        return;
    refreshProperties(m_menuItem);
    QMenu menu(m_window);
    for (const LayerTree::MenuEntry& e : entries) {
        QAction* a = menu.addAction(QIcon(e.icon), tr(qPrintable(e.text)));
        if (e.command != LayerTree::MenuCommand::None)
            connect(a, &QAction::triggered, this, [run, command = e.command] { run(command); });
    }
    menu.exec(QCursor::pos());
}

void LayerActions::addProjectFolder()
{
    QStandardItem* root = m_layers->projectRoot();
    m_layers->addFolder(root);
    m_view->expand(root->index());
}

void LayerActions::addFolderInFolder()
{
    if (!m_menuItem)
        return;
    m_layers->addFolder(m_menuItem);
    m_view->expand(m_menuItem->index());
}

void LayerActions::changeFolderSymbol()
{
    if (!m_menuItem)
        return;
    m_menuItem->setIcon(QIcon(QStringLiteral(":images/open.png")));
    m_view->expand(m_menuItem->index());
}

void LayerActions::removeCurrentLayer()
{
    m_layers->removeLayer(currentItem());
}

void LayerActions::zoomToMenuItem()
{
    QVector<LayerId> ids;
    std::function<void(const QStandardItem*)> collect = [&](const QStandardItem* item) {
        if (!item)
            return;
        if (LayerTree::layerId(item) != LayerScene::noLayer) {
            ids << LayerTree::layerId(item);
            return;
        }
        for (int r = 0; r < item->rowCount(); ++r)
            collect(item->child(r));
    };
    collect(m_menuItem);
    if (!m_scene->zoomToLayers(ids))
        emit statusMessage(tr("Nothing to zoom to: no shown layer there"), 3000);
}

void LayerActions::removeCurrentFolder()
{
    QStandardItem* item = currentItem();
    if (!item)
        return;
    if (item->hasChildren()) {
        QMessageBox box(m_window);
        box.setText(tr("Remove Layers from Folder First!"));
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return;
    }
    m_layers->removeFolder(item);
}

void LayerActions::removeAll()
{
    m_layers->removeAll();
}

// ---- Export ---------------------------------------------------------------------

void LayerActions::exportCurrentCloud()
{
    const LayerTree::Layer* layer = m_layers->layer(currentLayerId(LayerType::PointCloud));
    if (!layer)
        return;
    // Ask where to write rather than overwrite the layer's own file: a cloud
    // read from PTS or a richer PLY would lose what ASCII PLY cannot hold.
    QString proposal = QString::fromUtf8(layer->file);
    proposal = proposal.left(proposal.lastIndexOf('.')) + "_export.ply";
    const QString fileName =
        QFileDialog::getSaveFileName(m_window, tr("Export Point Cloud"), proposal, tr("PLY Files (*.ply)"));
    if (!fileName.isEmpty())
        exportCloud(layer->id, fileName);
}

bool LayerActions::exportCloudAt(int index, const QString& fileName)
{
    return exportCloud(m_layers->idAt(LayerType::PointCloud, index), fileName);
}

bool LayerActions::exportCloud(LayerId id, const QString& fileName)
{
    QString message;
    const bool ok = m_scene->exportLayerCloud(id, fileName, &message);
    if (ok) {
        emit statusMessage(tr("Exported '%1'").arg(fileName), 2000);
    } else {
        emit statusMessage(tr("Export failed: %1").arg(message), 5000);
        emit logLine(tr("Export of %1 failed: %2").arg(fileName, message));
    }
    return ok;
}

// ---- Property windows ---------------------------------------------------------

PropertyWindow* LayerActions::propertyWindow(int kind) const
{
    switch (kind) {
    case 2:
        return m_propertyModel;
    case 3:
        return m_propertyBundle;
    default:
        return m_propertyGeneral;
    }
}

void LayerActions::refreshProperties(QStandardItem* item)
{
    const LayerType::Code type = LayerTree::typeOf(item);
    if (type != LayerType::None) {
        PropertySelection& selection = PropertySelection::global();
        selection = PropertySelection();
        selection.kind = LayerTree::propertyKind(type);
        selection.name = item->text();
        if (type == LayerType::Bundle)
            selection.kindWord = QStringLiteral("Bundle");
        selection.typeName = LayerType::name(type);
        const LayerId id = LayerTree::layerId(item);
        if (const LayerTree::Layer* layer = m_layers->layer(id))
            selection.file = QString::fromUtf8(layer->file);
        GeoReference geo;
        if (type == LayerType::Bundle &&
            GeoReference::read(GeoReference::companionFileName(selection.file), geo) && geo.epsg > 0)
            selection.system = QStringLiteral("EPSG:%1").arg(geo.epsg);
        selection.summary = m_scene->layerSummary(id);
    }
    propertyWindow(PropertySelection::global().kind)->refresh();
}

// ---- Annotation layers ------------------------------------------------------------

LayerTree::LayerId LayerActions::currentLayerId(LayerType::Code type) const
{
    const QStandardItem* item = currentItem();
    return LayerTree::typeOf(item) == type ? LayerTree::layerId(item) : LayerScene::noLayer;
}

void LayerActions::saveEdits(LayerType::Code type)
{
    const LayerTree::Layer* layer = m_layers->layer(currentLayerId(type));
    if (!layer)
        return;
    const QString file = QString::fromUtf8(layer->file);
    QString error;
    if (m_scene->saveAnnotationLayer(layer->id, file, &error)) {
        emit statusMessage(tr("Saved '%1'").arg(file), 2000);
    } else {
        emit statusMessage(tr("Write Failed"), 2000);
        emit logLine(tr("Cannot write %1: %2").arg(file, error));
    }
}

void LayerActions::toggleLabels(LayerType::Code type)
{
    m_scene->toggleAnnotationLabels(currentLayerId(type));
}

// ---- Selection box -------------------------------------------------------------

void LayerActions::extractSelection(QAbstractButton* boxSwitch)
{
    const osg::ref_ptr<osg::Group> cloud = m_scene->extractSelection();
    // Unchecking the panel's button switches the box off through its signal.
    boxSwitch->setChecked(false);
    m_scene->turnOnSelectBox(false);
    if (!cloud) {
        emit statusMessage(tr("No points inside the selection box"), 2000);
        return;
    }
    // The file keeps the selection when the project is saved and opened
    // again; a number whose file exists (another project's) is skipped
    // rather than overwritten. A selection that cannot be written is no layer.
    const QString folder = m_layers->applicationFolder() + QStringLiteral("/project/");
    int n = m_layers->layerCount(LayerType::PointCloud);
    while (QFileInfo::exists(folder + QStringLiteral("newselection_%1.ply").arg(n)))
        ++n;
    const QString name = QStringLiteral("newselection_%1.ply").arg(n);
    QString message = tr("cannot make the folder %1").arg(folder);
    if (!QDir().mkpath(folder) || !PointCloudLoader::exportPointCloud(folder + name, cloud.get(), &message)) {
        emit logLine(tr("Selection not extracted: %1 could not be written: %2").arg(folder + name, message));
        emit statusMessage(tr("Selection not extracted: %1 could not be written").arg(name), 5000);
        return;
    }
    QStandardItem* item = m_layers->addLayerWithoutLoading(LayerType::PointCloud, folder + name, name, true,
                                                           m_layers->projectRoot());
    m_scene->addPointCloud(LayerTree::layerId(item), cloud.get(), true);
    emit statusMessage(tr("Selection extracted"), 2000);
}
