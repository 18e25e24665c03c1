#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPersistentModelIndex>
#include <QStringList>
#include <QVector>

#include "core/annotation/AnnotationRecord.h"
#include "core/annotation/LayerScene.h"
#include "core/formats/LayerType.h"
#include "core/layers/LayerOptions.h"

class LayerModel;
class QStandardItem;
class QStandardItemModel;

// The project's layers as a tree (project root, folders, layer items with a
// type child) plus the loaded layers in the order they were added, each with
// its type, its file and an id of its own. The id sits in the layer item
// (LayerIdRole), goes with it when the item is dragged to another folder,
// and is what the 3D view keeps the layer's scene object by: a check box or
// "Remove" acts on its own layer whatever its name and whatever happened
// to other layers. A layer's display name is its item's text.
class LayerTree : public QObject
{
    Q_OBJECT
public:
    using LayerId = LayerScene::LayerId;

    enum Role {
        ItemKindRole = Qt::UserRole + 1,
        ContainerKindRole = Qt::UserRole + 2,
        TypeCodeRole = Qt::UserRole + 3,
        LayerIdRole = Qt::UserRole + 4,
        // Why the layer's file is stale (made from inputs that changed since); empty when current.
        StaleRole = Qt::UserRole + 5
    };
    enum ItemKind {
        ProjectKind = 1,
        FolderKind = 2,
        LayerKind = 3,
        // Our own marks, so nothing depends on what a text happens to contain.
        TypeChildKind = 4,
        RecordKind = 5
    };

    // Per type, in the order the layers were added: display names and files.
    struct Lists
    {
        QStringList names;
        QList<QByteArray> files;
    };

    struct Layer {
        LayerId id = LayerScene::noLayer;
        LayerType::Code type = LayerType::None;
        QByteArray file;    // exactly as passed to the loader
        QString name;       // as added; the item's text once it is renamed
        bool loaded = true; // false for a kept layer whose file gave nothing
        QString drapes;     // a GeoTIFF terrain: the DrapedPair key of the mesh it shows
    };

    // What an entry of a layer's context menu asks the window to do.
    enum class MenuCommand {
        None, // an inert entry
        ExportPointCloud,
        ZoomToLayer,
        RemoveModel,
        ShowProperty,
        ShowModelProperty,
        ShowBundleProperty,
        SaveEditsPoints,
        ToggleLabels,
        SaveEditsPolygons,
        TogglePolyLabels,
        AddFolderInFolder,
        RemoveFolder,
        ChangeFolderSymbol,
        AddProjectFolder,
        OpenModel,
        CloseProject
    };
    Q_ENUM(MenuCommand)

    struct MenuEntry
    {
        QString text;
        QString icon;
        MenuCommand command;
    };

    // What to do with a layer whose file gives nothing to show.
    enum class Unreadable {
        Drop, // no item, no entry: the file is not a layer ("Add Data")
        Keep  // keep item and entry, so saving loses nothing (opening a project)
    };

    explicit LayerTree(QObject* parent = nullptr);

    void setScene(LayerScene* scene) { m_scene = scene; }
    // Where annotation layers find their code icons.
    void setApplicationFolder(const QString& folder) { m_appFolder = folder; }
    QString applicationFolder() const { return m_appFolder; }
    QStandardItemModel* model() const;
    QStandardItem* projectRoot() const;

    // Every layer in the order added.
    const QVector<Layer>& layers() const { return m_layers; }
    Lists lists(LayerType::Code type) const;
    int layerCount(LayerType::Code type) const;

    // Adds a layer item under parent and asks the scene to load the file.
    // Returns nullptr (and adds nothing) for a file that matches no layer
    // type, and for a file that gives nothing to show unless unreadable is
    // Keep. error receives the reason, or notes of a load that succeeded.
    QStandardItem* addLayer(const QString& file, const QString& displayName, bool visible,
                            QStandardItem* parent, QString* error = nullptr,
                            Unreadable unreadable = Unreadable::Drop);
    // The same for a file whose type is known already (a day file).
    QStandardItem* addLayerOfType(LayerType::Code type, const QString& file, const QString& displayName,
                                  bool visible, QStandardItem* parent, QString* error = nullptr,
                                  Unreadable unreadable = Unreadable::Drop);
    // The same bookkeeping for a layer whose scene object the caller gives
    // the scene under the new item's id.
    QStandardItem* addLayerWithoutLoading(LayerType::Code type, const QString& file, const QString& displayName,
                                          bool visible, QStandardItem* parent);
    QStandardItem* addFolder(QStandardItem* parent);
    // One child per annotation record: "B." + basket + " " + d_code with the
    // code's icon, or "L." + locus + " " + locus_desc with a colour swatch.
    QStandardItem* addRecordChild(QStandardItem* layer, LayerType::Code type, const AnnotationRecord& record);

    // The id of a layer item (noLayer for anything else).
    static LayerId layerId(const QStandardItem* item);
    // The layer item of an id, wherever it was dragged; null when removed.
    QStandardItem* itemOf(LayerId id) const;
    const Layer* layer(LayerId id) const;
    // A layer's record as the project file keeps it: its file, the text its
    // item shows and whether the item is checked; an empty record (no type)
    // for an id no layer has.
    LayerOptions options(LayerId id) const;
    // The first layer of that type with this display name, or noLayer.
    LayerId idOf(LayerType::Code type, const QString& name) const;
    // The first layer of that type read from this file, or noLayer.
    LayerId idOfFile(LayerType::Code type, const QString& file) const;
    // The id of the index-th layer of that type, or noLayer.
    LayerId idAt(LayerType::Code type, int index) const;
    // The terrain layer already showing the mesh a GeoTIFF would give (the
    // elevation model and orthophoto of one folder make one mesh), or noLayer.
    LayerId terrainShowing(const QString& file) const;
    // The first layer item of that type and name anywhere in the tree.
    QStandardItem* findLayerItem(LayerType::Code type, const QString& name) const;

    // Removes the layer's row, its entry and its scene object.
    void removeLayer(QStandardItem* item);
    // Refused (false) while the folder holds anything.
    bool removeFolder(QStandardItem* item);
    // Removes every layer from the scene and forgets every entry; rows stay.
    void removeAll();
    // Shows or hides the item's own scene object. False for anything that
    // is not a layer of a type whose check box shows and hides it.
    bool applyCheckState(QStandardItem* item);

    // The type of a layer item (None for anything else).
    static LayerType::Code typeOf(const QStandardItem* item);

    // The context menu entries for an item; empty for type and record children.
    QVector<MenuEntry> contextMenu(const QStandardItem* item) const;
    // The property window a layer's menu refreshes: 1 general, 2 point cloud, 3 bundle.
    static int propertyKind(LayerType::Code type);
    // Types whose layers have a scene object that check boxes and "Remove" act on.
    static bool hasSceneObject(LayerType::Code type);

    static QString folderName() { return QStringLiteral("New Folder"); }

    // Marks a layer whose file was made from inputs that have changed since:
    // its item is drawn in italics and orange and its tool tip says why and
    // what to run. An empty reason clears the mark. True when it changed.
    bool setStale(LayerId id, const QString& reason);
    QString staleReason(LayerId id) const;
    // Reads a layer's file again into the scene (its check state kept), for
    // a file a stage has rewritten; a layer that was not loaded is loaded
    // now. False with the reason.
    bool reloadLayer(LayerId id, QString* error = nullptr);

signals:
    // An annotation layer was added from its file, with the records it holds.
    void annotationLayerAdded(LayerType::Code type, const QString& name, const QVector<AnnotationRecord>& records);

private:
    QStandardItem* makeLayerItem(LayerType::Code type, LayerId id, const QString& displayName, bool visible);
    void addTypeChild(QStandardItem* layer, LayerType::Code type);
    // Asks the scene for the layer's object; false with the reason in error.
    bool load(LayerId id, LayerType::Code type, const QString& file, bool visible, QString* error);
    int entryOf(LayerId id) const;
    LayerId terrainShowingPair(const QString& key) const;
    QString nameOf(LayerId id) const;

    LayerModel* m_model;
    LayerScene* m_scene = nullptr;
    QString m_appFolder;
    QVector<Layer> m_layers;
    mutable QHash<LayerId, QPersistentModelIndex> m_itemIndex; // found before, checked on use
    LayerId m_nextId = 1;
};
