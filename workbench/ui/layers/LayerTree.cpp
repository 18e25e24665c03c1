#include "ui/layers/LayerTree.h"

#include "core/log/LogLine.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>

#include "ui/layers/AnnotationIcons.h"
#include "ui/layers/LayerModel.h"
#include "core/annotation/LayerScene.h"
#include "core/formats/DrapedPair.h"

LayerTree::LayerTree(QObject* parent) : QObject(parent), m_model(new LayerModel(this))
{
    m_model->setColumnCount(1);
    m_model->setHorizontalHeaderLabels({QString()});
    auto* root = new QStandardItem(QIcon(QStringLiteral(":images/Project.png")), tr("Project"));
    // The root stays where it is and keeps its name: it is neither dragged
    // nor renamed, only dropped on.
    root->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDropEnabled);
    root->setData(ProjectKind, ItemKindRole);
    root->setData(2, ContainerKindRole);
    m_model->appendRow(root);
}

QStandardItemModel* LayerTree::model() const
{
    return m_model;
}

bool LayerTree::hasSceneObject(LayerType::Code t)
{
    return t == LayerType::Mesh || t == LayerType::PointCloud || t == LayerType::Bundle ||
           t == LayerType::Terrain || t == LayerType::Points || t == LayerType::Polygons;
}

QStandardItem* LayerTree::projectRoot() const
{
    const QModelIndexList found =
        m_model->match(m_model->index(0, 0), ItemKindRole, ProjectKind, 1, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : m_model->itemFromIndex(found.first());
}

QStandardItem* LayerTree::makeLayerItem(LayerType::Code type, LayerId id, const QString& displayName,
                                        bool visible)
{
    auto* item = new QStandardItem(displayName);
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsEditable | Qt::ItemIsUserCheckable
                        | Qt::ItemIsDragEnabled;
    if (type == LayerType::Mesh)
        flags &= ~Qt::ItemIsEditable;
    item->setFlags(flags);
    item->setCheckState(visible ? Qt::Checked : Qt::Unchecked);
    item->setIcon(QIcon(LayerType::iconPath(type)));
    item->setData(LayerKind, ItemKindRole);
    item->setData(int(type), TypeCodeRole);
    item->setData(id, LayerIdRole);
    return item;
}

void LayerTree::addTypeChild(QStandardItem* layer, LayerType::Code type)
{
    auto* child = new QStandardItem(QStringLiteral("Type: ") + LayerType::name(type));
    child->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    child->setData(TypeChildKind, ItemKindRole);
    layer->insertRow(0, child);
}

QStandardItem* LayerTree::addLayer(const QString& file, const QString& displayName, bool visible,
                                   QStandardItem* parent, QString* error, Unreadable unreadable)
{
    return addLayerOfType(LayerType::typeOfFile(file), file, displayName, visible, parent, error, unreadable);
}

bool LayerTree::load(LayerId id, LayerType::Code type, const QString& file, bool visible, QString* error)
{
    if (!hasSceneObject(type)) {
        // Only a tree entry, but one that names a file that is there.
        QFile f(file);
        if (QFileInfo(file).isFile() && f.open(QIODevice::ReadOnly))
            return true;
        if (error)
            *error = file + tr(": cannot open: ") +
                     (QFileInfo::exists(file) ? tr("not a regular file") : f.errorString());
        return false;
    }
    if (!m_scene)
        return true;
    if (type == LayerType::Points || type == LayerType::Polygons)
        return m_scene->loadAnnotationLayer(id, type, file, visible, m_appFolder, error);
    return m_scene->loadLayer(id, type, file, visible, error);
}

QStandardItem* LayerTree::addLayerOfType(LayerType::Code type, const QString& file,
                                         const QString& displayName, bool visible, QStandardItem* parent,
                                         QString* error, Unreadable unreadable)
{
    if (error)
        error->clear();
    if (!parent)
        return nullptr;
    if (type == LayerType::None) {
        if (error)
            *error = file + tr(": no layer type for this file name");
        return nullptr;
    }
    // The second raster of a DSM and orthophoto pair would only draw the
    // first one's mesh again: it is no layer of its own, and a project that
    // lists it keeps it as an entry without a mesh, so nothing is lost.
    const QString drapes = type == LayerType::Terrain ? DrapedPair::of(file).key() : QString();
    const LayerId shownAs = terrainShowingPair(drapes);
    if (shownAs != LayerScene::noLayer && unreadable == Unreadable::Drop) {
        if (error)
            *error = tr("%1 is already shown as layer %2").arg(displayName, nameOf(shownAs));
        return nullptr;
    }
    const LayerId id = m_nextId++;
    QString problem;
    QStandardItem* item = makeLayerItem(type, id, displayName, visible);
    parent->appendRow(item);
    bool loaded = false;
    if (shownAs != LayerScene::noLayer) {
        addTypeChild(item, type);
        problem = tr("%1 is already shown as layer %2").arg(displayName, nameOf(shownAs));
    } else {
        // A bundle is loaded before its type child exists; everything else after.
        loaded = type != LayerType::Bundle || load(id, type, file, visible, &problem);
        addTypeChild(item, type);
        if (type != LayerType::Bundle)
            loaded = load(id, type, file, visible, &problem);
    }
    if (error)
        *error = problem;
    if (!loaded && unreadable == Unreadable::Drop) {
        parent->removeRow(item->row());
        return nullptr;
    }
    if (shownAs != LayerScene::noLayer)
        item->setToolTip(
            tr("Shown as layer %1: the elevation model and orthophoto of one folder make one terrain")
                .arg(nameOf(shownAs)));
    else if (!loaded)
        item->setToolTip(tr("Not loaded: %1").arg(problem));
    m_layers.append({id, type, file.toUtf8(), displayName, loaded, loaded ? drapes : QString()});
    if (loaded && (type == LayerType::Points || type == LayerType::Polygons)) {
        const QVector<AnnotationRecord> records =
            m_scene ? m_scene->annotationRecords(id) : QVector<AnnotationRecord>();
        for (const AnnotationRecord& record : records)
            addRecordChild(item, type, record);
        emit annotationLayerAdded(type, displayName, records);
    }
    return item;
}

QStandardItem* LayerTree::addRecordChild(QStandardItem* layer, LayerType::Code type, const AnnotationRecord& record)
{
    if (!layer)
        return nullptr;
    QStandardItem* child = nullptr;
    if (type == LayerType::Polygons)
        child = new QStandardItem(QIcon(AnnotationIcons::polygonSwatch(record.locusDesc)),
                                  "L." + record.locus + " " + record.locusDesc);
    else
        child = new QStandardItem(AnnotationIcons::pointIcon(m_appFolder, record.dCode),
                                  "B." + record.basket + " " + record.dCode);
    child->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    child->setData(RecordKind, ItemKindRole);
    layer->appendRow(child);
    return child;
}

QStandardItem* LayerTree::findLayerItem(LayerType::Code type, const QString& name) const
{
    const QModelIndexList found = m_model->match(m_model->index(0, 0), ItemKindRole, LayerKind, -1,
                                                 Qt::MatchExactly | Qt::MatchRecursive);
    for (const QModelIndex& index : found) {
        QStandardItem* item = m_model->itemFromIndex(index);
        if (typeOf(item) == type && item->text() == name)
            return item;
    }
    return nullptr;
}

QStandardItem* LayerTree::addLayerWithoutLoading(LayerType::Code type, const QString& file,
                                                 const QString& displayName, bool visible, QStandardItem* parent)
{
    if (type == LayerType::None || !parent)
        return nullptr;
    const LayerId id = m_nextId++;
    QStandardItem* item = makeLayerItem(type, id, displayName, visible);
    parent->appendRow(item);
    addTypeChild(item, type);
    m_layers.append({id, type, file.toUtf8(), displayName, true, QString()});
    return item;
}

QStandardItem* LayerTree::addFolder(QStandardItem* parent)
{
    if (!parent)
        return nullptr;
    auto* folder = new QStandardItem(QIcon(QStringLiteral(":images/open.png")), folderName());
    folder->setData(FolderKind, ItemKindRole);
    folder->setData(1, ContainerKindRole);
    parent->appendRow(folder);
    return folder;
}

LayerTree::LayerId LayerTree::layerId(const QStandardItem* item)
{
    if (!item || item->data(ItemKindRole).toInt() != LayerKind)
        return LayerScene::noLayer;
    return item->data(LayerIdRole).toInt();
}

QStandardItem* LayerTree::itemOf(LayerId id) const
{
    if (id == LayerScene::noLayer)
        return nullptr;
    // A drag moves a copy of the item and removes the original, so a
    // remembered index may be gone: then the tree is searched again.
    const QPersistentModelIndex known = m_itemIndex.value(id);
    if (known.isValid() && known.data(LayerIdRole).toInt() == id &&
        known.data(ItemKindRole).toInt() == LayerKind)
        return m_model->itemFromIndex(known);
    const QModelIndexList found =
        m_model->match(m_model->index(0, 0), LayerIdRole, id, 1, Qt::MatchExactly | Qt::MatchRecursive);
    if (found.isEmpty()) {
        m_itemIndex.remove(id);
        return nullptr;
    }
    m_itemIndex.insert(id, found.first());
    return m_model->itemFromIndex(found.first());
}

int LayerTree::entryOf(LayerId id) const
{
    for (int i = 0; i < m_layers.size(); ++i)
        if (m_layers[i].id == id)
            return i;
    return -1;
}

const LayerTree::Layer* LayerTree::layer(LayerId id) const
{
    const int i = entryOf(id);
    return i < 0 ? nullptr : &m_layers[i];
}

LayerOptions LayerTree::options(LayerId id) const
{
    LayerOptions options;
    const Layer* entry = layer(id);
    if (!entry)
        return options;
    const QStandardItem* item = itemOf(id);
    options.id = id;
    options.type = entry->type;
    options.file = entry->file;
    options.name = item ? item->text() : entry->name;
    options.visible = !item || item->checkState() == Qt::Checked;
    return options;
}

LayerTree::Lists LayerTree::lists(LayerType::Code type) const
{
    Lists out;
    for (const Layer& l : m_layers) {
        if (l.type != type)
            continue;
        // A renamed layer is saved under the name the user gave it.
        const QStandardItem* item = itemOf(l.id);
        out.names.append(item ? item->text() : l.name);
        out.files.append(l.file);
    }
    return out;
}

int LayerTree::layerCount(LayerType::Code type) const
{
    int n = 0;
    for (const Layer& l : m_layers)
        n += l.type == type ? 1 : 0;
    return n;
}

LayerTree::LayerId LayerTree::idOf(LayerType::Code type, const QString& name) const
{
    for (const Layer& l : m_layers) {
        if (l.type != type)
            continue;
        const QStandardItem* item = itemOf(l.id);
        if ((item ? item->text() : l.name) == name)
            return l.id;
    }
    return LayerScene::noLayer;
}

LayerTree::LayerId LayerTree::idOfFile(LayerType::Code type, const QString& file) const
{
    const QString wanted = QDir::cleanPath(file);
    for (const Layer& l : m_layers)
        if (l.type == type && QDir::cleanPath(QString::fromUtf8(l.file)) == wanted)
            return l.id;
    return LayerScene::noLayer;
}

LayerTree::LayerId LayerTree::terrainShowing(const QString& file) const
{
    // Only GeoTIFFs come in pairs; other files are not opened to find out.
    if (!LayerType::fileNameOf(file).contains(QLatin1String(".tif")))
        return LayerScene::noLayer;
    return terrainShowingPair(DrapedPair::of(file).key());
}

LayerTree::LayerId LayerTree::terrainShowingPair(const QString& key) const
{
    if (key.isEmpty())
        return LayerScene::noLayer;
    for (const Layer& l : m_layers)
        if (l.type == LayerType::Terrain && l.loaded && l.drapes == key)
            return l.id;
    return LayerScene::noLayer;
}

QString LayerTree::nameOf(LayerId id) const
{
    const QStandardItem* item = itemOf(id);
    const Layer* entry = layer(id);
    return item ? item->text() : entry ? entry->name : QString();
}

LayerTree::LayerId LayerTree::idAt(LayerType::Code type, int index) const
{
    int n = 0;
    for (const Layer& l : m_layers) {
        if (l.type != type)
            continue;
        if (n++ == index)
            return l.id;
    }
    return LayerScene::noLayer;
}

void LayerTree::removeLayer(QStandardItem* item)
{
    const LayerId id = layerId(item);
    if (id == LayerScene::noLayer)
        return;
    QStandardItem* parent = item->parent() ? item->parent() : m_model->invisibleRootItem();
    parent->removeRow(item->row());
    const int entry = entryOf(id);
    if (entry < 0)
        return;
    const LayerType::Code type = m_layers[entry].type;
    m_layers.removeAt(entry);
    m_itemIndex.remove(id);
    if (hasSceneObject(type) && m_scene)
        m_scene->removeLayer(id);
}

bool LayerTree::removeFolder(QStandardItem* item)
{
    if (!item || item == projectRoot())
        return false;
    if (item->hasChildren())
        return false;
    QStandardItem* parent = item->parent() ? item->parent() : m_model->invisibleRootItem();
    parent->removeRow(item->row());
    return true;
}

void LayerTree::removeAll()
{
    for (LayerType::Code t : LayerType::all()) {
        for (const Layer& l : m_layers) {
            if (l.type != t || !hasSceneObject(t) || !m_scene)
                continue;
            if (t == LayerType::PointCloud)
                LogLine() << "Deleting\n";
            m_scene->removeLayer(l.id);
        }
    }
    m_layers.clear();
    m_itemIndex.clear();
}

bool LayerTree::applyCheckState(QStandardItem* item)
{
    const LayerId id = layerId(item);
    const Layer* entry = layer(id);
    if (!entry || !hasSceneObject(entry->type))
        return false;
    if (m_scene)
        m_scene->setLayerVisible(id, item->checkState() == Qt::Checked);
    return true;
}

LayerType::Code LayerTree::typeOf(const QStandardItem* item)
{
    if (!item || item->data(ItemKindRole).toInt() != LayerKind)
        return LayerType::None;
    return LayerType::fromCode(item->data(TypeCodeRole).toInt());
}

int LayerTree::propertyKind(LayerType::Code type)
{
    if (type == LayerType::PointCloud)
        return 2;
    if (type == LayerType::Bundle)
        return 3;
    return 1;
}

QVector<LayerTree::MenuEntry> LayerTree::contextMenu(const QStandardItem* item) const
{
    const QString exp = QStringLiteral(":images/export.png"), zoom = QStringLiteral(":images/zoomTo.png"),
                  del = QStringLiteral(":images/delete.png"), prop = QStringLiteral(":images/property.png"),
                  add = QStringLiteral(":images/add.png");
    using C = MenuCommand;
    if (!item)
        return {};
    switch (typeOf(item)) {
    case LayerType::Mesh:
    case LayerType::Terrain:
    case LayerType::Polylines:
    case LayerType::Annotation:
        return {{"Export", exp, C::None}, {"Zoom To", zoom, C::ZoomToLayer}, {"Remove", del, C::RemoveModel},
                {"properties", prop, C::ShowProperty}};
    case LayerType::PointCloud:
        return {{"Export", exp, C::ExportPointCloud}, {"Zoom To", zoom, C::ZoomToLayer}, {"Remove", del, C::RemoveModel},
                {"Properties", prop, C::ShowModelProperty}};
    case LayerType::Bundle:
        return {{"Export", exp, C::None}, {"Zoom To", zoom, C::ZoomToLayer}, {"remove", del, C::RemoveModel},
                {"properties", prop, C::ShowBundleProperty}};
    case LayerType::Points:
        return {{"Export", exp, C::None},
                {"Zoom To", zoom, C::ZoomToLayer},
                {"Remove", del, C::RemoveModel},
                {"Save Edits Points", prop, C::SaveEditsPoints},
                {"Toggle Labels", prop, C::ToggleLabels},
                {"properties", prop, C::ShowProperty}};
    case LayerType::Polygons:
        return {{"Save Edits Polygons", prop, C::SaveEditsPolygons},
                {"Zoom To", zoom, C::ZoomToLayer},
                {"Remove", del, C::RemoveModel},
                {"Toggle Labels", prop, C::TogglePolyLabels},
                {"properties", prop, C::ShowProperty}};
    case LayerType::None:
        break;
    }
    switch (item->data(ContainerKindRole).toInt()) {
    case 1:
        return {{"Add Folder", add, C::AddFolderInFolder},
                {"Zoom To", zoom, C::ZoomToLayer},
                {"Remove Folder", del, C::RemoveFolder},
                {"Change Folder Symbol", QStringLiteral(":images/ViewAll.png"), C::ChangeFolderSymbol}};
    case 2:
        return {{"Add Folder", add, C::AddProjectFolder},
                {"Add Data", QStringLiteral(":images/Add.jpg"), C::OpenModel},
                {"Zoom To", zoom, C::ZoomToLayer},
                {"Close Project", del, C::CloseProject},
                {"properties", prop, C::ShowProperty}};
    default:
        return {};
    }
}

bool LayerTree::setStale(LayerId id, const QString& reason)
{
    QStandardItem* item = itemOf(id);
    if (!item || item->data(StaleRole).toString() == reason)
        return false;
    item->setData(reason.isEmpty() ? QVariant() : QVariant(reason), StaleRole);
    QFont font = item->font();
    font.setItalic(!reason.isEmpty());
    item->setFont(font);
    item->setForeground(reason.isEmpty() ? QBrush() : QBrush(QColor(204, 102, 0)));
    const int entry = entryOf(id);
    const bool loaded = entry < 0 || m_layers[entry].loaded;
    if (loaded)
        item->setToolTip(reason.isEmpty() ? QString() : tr("Stale: %1").arg(reason));
    return true;
}

QString LayerTree::staleReason(LayerId id) const
{
    const QStandardItem* item = itemOf(id);
    return item ? item->data(StaleRole).toString() : QString();
}

bool LayerTree::reloadLayer(LayerId id, QString* error)
{
    const int entry = entryOf(id);
    QStandardItem* item = itemOf(id);
    if (entry < 0 || !item || !m_scene)
        return false;
    Layer& layer = m_layers[entry];
    const bool visible = item->checkState() == Qt::Checked;
    QString problem;
    layer.loaded = m_scene->reloadLayer(id, layer.type, QString::fromUtf8(layer.file), visible, &problem);
    item->setToolTip(layer.loaded ? QString() : tr("Not loaded: %1").arg(problem));
    if (error)
        *error = problem;
    return layer.loaded;
}
