#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QVector>

#include "AnnotationRecord.h"
#include "LayerType.h"

class LayerScene;
class QStandardItem;
class QStandardItemModel;

// The project's layers as a tree (project root, folders, layer items with a
// type child) plus, per layer type, the display names and file names in the
// order the layers were added. Index i of a type's lists is also the layer's
// index in the 3D view's list of that type.
class LayerTree : public QObject
{
    Q_OBJECT
public:
    enum Role { ItemKindRole = Qt::UserRole + 1, ContainerKindRole = Qt::UserRole + 2, TypeCodeRole = Qt::UserRole + 3 };
    enum ItemKind {
        ProjectKind = 1,
        FolderKind = 2,
        LayerKind = 3,
        // Our own marks, so nothing depends on what a text happens to contain.
        TypeChildKind = 4,
        RecordKind = 5
    };

    struct Lists
    {
        QStringList names;
        QList<QByteArray> files;
    };

    struct MenuEntry
    {
        QString text;
        QString icon;
        const char* slot; // MainWindow slot signature, nullptr for an inert entry
    };

    explicit LayerTree(QObject* parent = nullptr);

    void setScene(LayerScene* scene) { m_scene = scene; }
    // Where annotation layers find their code icons.
    void setApplicationFolder(const QString& folder) { m_appFolder = folder; }
    QString applicationFolder() const { return m_appFolder; }
    QStandardItemModel* model() const { return m_model; }
    QStandardItem* projectRoot() const;

    const Lists& lists(LayerType::Code type) const { return m_lists[type]; }
    int layerCount(LayerType::Code type) const { return m_lists[type].names.size(); }

    // Adds a layer item under parent, records it in its type's lists and asks
    // the scene to load the file. Returns nullptr (and adds nothing) for a file
    // that matches no layer type.
    QStandardItem* addLayer(const QString& file, const QString& displayName, bool visible, QStandardItem* parent);
    // The same for a file whose type is known already (a day file).
    QStandardItem* addLayerOfType(LayerType::Code type, const QString& file, const QString& displayName, bool visible,
                                  QStandardItem* parent);
    // The same bookkeeping for a layer whose scene object already exists.
    QStandardItem* addLayerWithoutLoading(LayerType::Code type, const QString& file, const QString& displayName,
                                          bool visible, QStandardItem* parent);
    QStandardItem* addFolder(QStandardItem* parent);
    // One child per annotation record: "B." + basket + " " + d_code with the
    // code's icon, or "L." + locus + " " + locus_desc with a colour swatch.
    QStandardItem* addRecordChild(QStandardItem* layer, LayerType::Code type, const AnnotationRecord& record);
    // The first layer item of that type and name anywhere in the tree.
    QStandardItem* findLayerItem(LayerType::Code type, const QString& name) const;

    // Removes the layer's row and its list entries and scene object.
    void removeLayer(QStandardItem* item);
    // Refused (false) while the folder holds anything.
    bool removeFolder(QStandardItem* item);
    // Removes every layer from the scene and empties all lists; rows stay.
    void removeAll();
    // Shows or hides the scene object named like the item. False when no
    // layer of a type with a visible scene object has that name.
    bool applyCheckState(QStandardItem* item);

    // The type of a layer item (None for anything else).
    static LayerType::Code typeOf(const QStandardItem* item);
    // Index of the first layer of that type with this display name, or -1.
    int indexOf(LayerType::Code type, const QString& name) const;

    // The context menu entries for an item; empty for type and record children.
    QVector<MenuEntry> contextMenu(const QStandardItem* item) const;
    // The property window a layer's menu refreshes: 1 general, 2 point cloud, 3 bundle.
    static int propertyKind(LayerType::Code type);

    static QString folderName() { return QStringLiteral("New Folder"); }

signals:
    // An annotation layer was added from its file, with the records it holds.
    void annotationLayerAdded(LayerType::Code type, const QString& name, const QVector<AnnotationRecord>& records);

private:
    QStandardItem* makeLayerItem(LayerType::Code type, const QString& displayName, bool visible);
    void addTypeChild(QStandardItem* layer, LayerType::Code type);

    QStandardItemModel* m_model;
    LayerScene* m_scene = nullptr;
    QString m_appFolder;
    Lists m_lists[LayerType::Annotation + 1]; // indexed by type code
};
