#include "LayerTree.h"

#include <QStandardItemModel>

#include <iostream>

#include "AnnotationIcons.h"
#include "LayerScene.h"

namespace {
// Types whose layers have a scene object that check boxes and "Remove" act on.
bool hasSceneObject(LayerType::Code t)
{
    return t == LayerType::Mesh || t == LayerType::PointCloud || t == LayerType::Bundle || t == LayerType::Points
        || t == LayerType::Polygons;
}
} // namespace

LayerTree::LayerTree(QObject* parent) : QObject(parent), m_model(new QStandardItemModel(this))
{
    m_model->setColumnCount(1);
    m_model->setHorizontalHeaderLabels({QString()});
    auto* root = new QStandardItem(QIcon(QStringLiteral(":images/Project.png")), tr("Project"));
    root->setData(ProjectKind, ItemKindRole);
    root->setData(2, ContainerKindRole);
    m_model->appendRow(root);
}

QStandardItem* LayerTree::projectRoot() const
{
    const QModelIndexList found =
        m_model->match(m_model->index(0, 0), ItemKindRole, ProjectKind, 1, Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : m_model->itemFromIndex(found.first());
}

QStandardItem* LayerTree::makeLayerItem(LayerType::Code type, const QString& displayName, bool visible)
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
                                   QStandardItem* parent)
{
    return addLayerOfType(LayerType::typeOfFile(file), file, displayName, visible, parent);
}

QStandardItem* LayerTree::addLayerOfType(LayerType::Code type, const QString& file, const QString& displayName,
                                         bool visible, QStandardItem* parent)
{
    if (type == LayerType::None || !parent)
        return nullptr;
    QStandardItem* item = makeLayerItem(type, displayName, visible);
    m_lists[type].names.append(displayName);
    m_lists[type].files.append(file.toUtf8());
    parent->appendRow(item);
    // A bundle is loaded before its type child exists; everything else after.
    if (type == LayerType::Bundle && m_scene)
        m_scene->loadLayer(type, file, visible);
    addTypeChild(item, type);
    if (type == LayerType::Points || type == LayerType::Polygons) {
        const QVector<AnnotationRecord> records =
            m_scene ? m_scene->loadAnnotationLayer(type, file, visible, m_appFolder) : QVector<AnnotationRecord>();
        for (const AnnotationRecord& record : records)
            addRecordChild(item, type, record);
        emit annotationLayerAdded(type, displayName, records);
    } else if (type != LayerType::Bundle && m_scene) {
        m_scene->loadLayer(type, file, visible);
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
    QStandardItem* item = makeLayerItem(type, displayName, visible);
    m_lists[type].names.append(displayName);
    m_lists[type].files.append(file.toUtf8());
    parent->appendRow(item);
    addTypeChild(item, type);
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

void LayerTree::removeLayer(QStandardItem* item)
{
    if (!item)
        return;
    const QString text = item->text();
    QStandardItem* parent = item->parent() ? item->parent() : m_model->invisibleRootItem();
    if (item == projectRoot())
        return;
    parent->removeRow(item->row());

    static const LayerType::Code order[] = {LayerType::Mesh,   LayerType::PointCloud, LayerType::Bundle,
                                            LayerType::Terrain, LayerType::Points,    LayerType::Polygons,
                                            LayerType::Polylines, LayerType::Annotation};
    for (LayerType::Code t : order) {
        const int i = m_lists[t].names.indexOf(text);
        if (i < 0)
            continue;
        m_lists[t].names.removeAt(i);
        m_lists[t].files.removeAt(i);
        if (hasSceneObject(t) && m_scene)
            m_scene->removeLayer(t, i);
        return;
    }
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
        if (hasSceneObject(t) && m_scene) {
            for (int i = 0; i < m_lists[t].names.size(); ++i) {
                if (t == LayerType::PointCloud)
                    std::cout << "Deleting\n";
                m_scene->removeLayer(t, 0);
            }
        }
        m_lists[t] = Lists();
    }
}

bool LayerTree::applyCheckState(QStandardItem* item)
{
    if (!item)
        return false;
    static const LayerType::Code order[] = {LayerType::Mesh, LayerType::PointCloud, LayerType::Points,
                                            LayerType::Polygons, LayerType::Bundle};
    for (LayerType::Code t : order) {
        const int i = m_lists[t].names.indexOf(item->text());
        if (i < 0)
            continue;
        if (m_scene)
            m_scene->setLayerVisible(t, i, item->checkState() == Qt::Checked);
        return true;
    }
    return false;
}

LayerType::Code LayerTree::typeOf(const QStandardItem* item)
{
    if (!item || item->data(ItemKindRole).toInt() != LayerKind)
        return LayerType::None;
    return LayerType::fromCode(item->data(TypeCodeRole).toInt());
}

int LayerTree::indexOf(LayerType::Code type, const QString& name) const
{
    return m_lists[type].names.indexOf(name);
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
    if (!item)
        return {};
    switch (typeOf(item)) {
    case LayerType::Mesh:
    case LayerType::Terrain:
    case LayerType::Polylines:
    case LayerType::Annotation:
        return {{"Export", exp, nullptr}, {"Zoom To", zoom, nullptr}, {"Remove", del, "removeModel()"},
                {"properties", prop, "showProperty()"}};
    case LayerType::PointCloud:
        return {{"Export", exp, "exportPointCloud()"}, {"Zoom To", zoom, nullptr}, {"Remove", del, "removeModel()"},
                {"Properties", prop, "showPropertyWin_Model()"}};
    case LayerType::Bundle:
        return {{"Export", exp, nullptr}, {"Zoom To", zoom, nullptr}, {"remove", del, "removeModel()"},
                {"properties", prop, "showPropertyWin_BundleFile()"}};
    case LayerType::Points:
        return {{"Export", exp, nullptr},
                {"Zoom To", zoom, nullptr},
                {"Remove", del, "removeModel()"},
                {"Save Edits Points", prop, "saveEditsPoints()"},
                {"Toggle Labels", prop, "toggleLabels()"},
                {"properties", prop, "showProperty()"}};
    case LayerType::Polygons:
        return {{"Save Edits Polygons", prop, "saveEditsPolygons()"},
                {"Zoom To", zoom, nullptr},
                {"Remove", del, "removeModel()"},
                {"Toggle Labels", prop, "togglePolyLabels()"},
                {"properties", prop, "showProperty()"}};
    case LayerType::None:
        break;
    }
    switch (item->data(ContainerKindRole).toInt()) {
    case 1:
        return {{"Add Folder", add, "addFolderInFolder()"},
                {"Zoom To", zoom, nullptr},
                {"Remove Folder", del, "removeFolder()"},
                {"Change Folder Symbol", QStringLiteral(":images/ViewAll.png"), "changeFolderSymbol()"}};
    case 2:
        return {{"Add Folder", add, "addProjectFolder()"},
                {"Add Data", QStringLiteral(":images/Add.jpg"), "openModel()"},
                {"Zoom To", zoom, nullptr},
                {"Close Project", del, "closeProject()"},
                {"properties", prop, "showProperty()"}};
    default:
        return {};
    }
}
