#include <QtTest>

#include <QListWidget>
#include <QMimeData>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTreeView>

#include "core/annotation/CategoryColour.h"
#include "core/annotation/LayerScene.h"
#include "ui/layers/LayerTree.h"
#include "ui/main/MainWindow.h"

namespace {

// Records what the tree asks of the 3D view, naming each layer by the file
// its id was loaded from; files named "bad..." load nothing.
class FakeScene : public LayerScene
{
public:
    QStringList calls;
    LayerTree* tree = nullptr;
    int typeChildrenAtLoad = -1;
    QHash<LayerId, QString> files;

    bool loadLayer(LayerId id, LayerType::Code type, const QString& file, bool visible,
                   QString* error) override
    {
        calls << QString("load %1 %2 %3").arg(LayerType::name(type), file).arg(visible);
        if (tree) {
            QStandardItem* root = tree->projectRoot();
            QStandardItem* last = root->child(root->rowCount() - 1);
            typeChildrenAtLoad = last ? last->rowCount() : -1;
        }
        if (file.contains("/bad")) {
            if (error)
                *error = file + ": line 3: refused";
            return false;
        }
        files.insert(id, file);
        return true;
    }
    void setLayerVisible(LayerId id, bool visible) override
    {
        calls << QString("%1 %2").arg(visible ? "show" : "hide", files.value(id, "unknown"));
    }
    void removeLayer(LayerId id) override { calls << QString("remove %1").arg(files.take(id)); }
};

void writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}

QStringList childTexts(QStandardItem* parent)
{
    QStringList out;
    for (int r = 0; r < parent->rowCount(); ++r)
        out << parent->child(r)->text();
    return out;
}

QStringList menuTexts(const QVector<LayerTree::MenuEntry>& entries)
{
    QStringList out;
    for (const auto& e : entries)
        out << e.text + (e.command == LayerTree::MenuCommand::None
                             ? QString()
                             : QString("->") + QMetaEnum::fromType<LayerTree::MenuCommand>().valueToKey(int(e.command)));
    return out;
}

} // namespace

class TestLayerTree : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Q_INIT_RESOURCE(images); }

    void layerItemsAndLists()
    {
        LayerTree tree;
        FakeScene scene;
        tree.setScene(&scene);
        QStandardItem* root = tree.projectRoot();
        QVERIFY(root);
        QCOMPARE(root->text(), QString("Project"));
        QCOMPARE(tree.model()->rowCount(), 1);

        QStandardItem* folder = tree.addFolder(root);
        QStandardItem* cloud = tree.addLayer("/d/a.pts", "a.pts", false, folder);
        QVERIFY(cloud);
        QCOMPARE(cloud->checkState(), Qt::Unchecked);
        QCOMPARE(cloud->child(0)->text(), QString("Type: PointCloud"));
        QCOMPARE(cloud->data(LayerTree::TypeCodeRole).toInt(), 2);
        QCOMPARE(cloud->data(LayerTree::ItemKindRole).toInt(), 3);
        QVERIFY(cloud->flags() & Qt::ItemIsUserCheckable);
        QVERIFY(cloud->flags() & Qt::ItemIsEditable);
        QVERIFY(!(cloud->flags() & Qt::ItemIsDropEnabled));
        QVERIFY(folder->flags() & Qt::ItemIsDropEnabled);
        QVERIFY(!(cloud->child(0)->flags() & (Qt::ItemIsDropEnabled | Qt::ItemIsDragEnabled)));
        QCOMPARE(scene.calls, QStringList{"load PointCloud /d/a.pts 0"});

        QStandardItem* mesh = tree.addLayer("/d/m.obj", "m.obj", true, root);
        QVERIFY(!(mesh->flags() & Qt::ItemIsEditable));
        QVERIFY(!tree.addLayer("/d/SCAN.PLY", "SCAN.PLY", true, root));
        QCOMPARE(tree.lists(LayerType::PointCloud).names, QStringList{"a.pts"});
        QCOMPARE(tree.lists(LayerType::Mesh).files, QList<QByteArray>{"/d/m.obj"});
        QCOMPARE(childTexts(root), (QStringList{"New Folder", "m.obj"}));
    }

    void bundleLoadsBeforeItsTypeChild()
    {
        LayerTree tree;
        FakeScene scene;
        scene.tree = &tree;
        tree.setScene(&scene);
        tree.addLayer("/d/sparse.nvm", "sparse.nvm", true, tree.projectRoot());
        QCOMPARE(scene.typeChildrenAtLoad, 0);
        tree.addLayer("/d/c.xyb", "c.xyb", true, tree.projectRoot());
        QCOMPARE(scene.typeChildrenAtLoad, 1);
    }

    void checkBoxesShowAndHideTheirOwnLayer()
    {
        LayerTree tree;
        FakeScene scene;
        tree.setScene(&scene);
        QStandardItem* root = tree.projectRoot();
        tree.addLayer("/d/a.pts", "a.pts", true, root);
        QStandardItem* b = tree.addLayer("/d/b.pts", "b.pts", true, root);
        QStandardItem* terrain = tree.addLayer("/d/t.osgb", "t.osgb", true, root);
        scene.calls.clear();

        b->setCheckState(Qt::Unchecked);
        QVERIFY(tree.applyCheckState(b));
        b->setCheckState(Qt::Checked);
        QVERIFY(tree.applyCheckState(b));
        // A terrain's check box once did nothing: its mesh stayed drawn.
        terrain->setCheckState(Qt::Unchecked);
        QVERIFY(tree.applyCheckState(terrain));
        QCOMPARE(scene.calls, (QStringList{"hide /d/b.pts", "show /d/b.pts", "hide /d/t.osgb"}));
    }

    void removingTheMiddleLayerKeepsListsAligned()
    {
        LayerTree tree;
        FakeScene scene;
        tree.setScene(&scene);
        QStandardItem* root = tree.projectRoot();
        tree.addLayer("/d/a.pts", "a.pts", true, root);
        QStandardItem* b = tree.addLayer("/d/b.pts", "b.pts", true, root);
        tree.addLayer("/d/c.pts", "c.pts", true, root);
        QStandardItem* terrain = tree.addLayer("/d/t.osgb", "t.osgb", true, root);
        scene.calls.clear();

        tree.removeLayer(b);
        QCOMPARE(tree.lists(LayerType::PointCloud).names, (QStringList{"a.pts", "c.pts"}));
        QCOMPARE(tree.lists(LayerType::PointCloud).files, (QList<QByteArray>{"/d/a.pts", "/d/c.pts"}));
        tree.removeLayer(terrain); // its mesh once stayed drawn after its entry was gone
        QVERIFY(tree.lists(LayerType::Terrain).names.isEmpty());
        QCOMPARE(scene.calls, (QStringList{"remove /d/b.pts", "remove /d/t.osgb"}));
        QCOMPARE(childTexts(root), (QStringList{"a.pts", "c.pts"}));

        scene.calls.clear();
        tree.addLayer("/d/s.nvm", "s.nvm", true, root);
        tree.addLayer("/d/u.osgb", "u.osgb", true, root);
        scene.calls.clear();
        tree.removeAll();
        QCOMPARE(scene.calls,
                 (QStringList{"remove /d/a.pts", "remove /d/c.pts", "remove /d/s.nvm", "remove /d/u.osgb"}));
        for (LayerType::Code t : LayerType::all())
            QCOMPARE(tree.layerCount(t), 0);
        QCOMPARE(root->rowCount(), 4); // rows are the caller's to remove
    }

    void foldersAndTheirRemoval()
    {
        LayerTree tree;
        QStandardItem* root = tree.projectRoot();
        QStandardItem* f1 = tree.addFolder(root);
        QStandardItem* f2 = tree.addFolder(root);
        QCOMPARE(f1->text(), QString("New Folder"));
        QCOMPARE(f2->text(), QString("New Folder"));
        QStandardItem* inner = tree.addFolder(f1);
        QVERIFY(!tree.removeFolder(f1));
        QVERIFY(tree.removeFolder(inner));
        QVERIFY(tree.removeFolder(f1));
        QVERIFY(!tree.removeFolder(root));
        QCOMPARE(childTexts(root), QStringList{"New Folder"});
    }

    void contextMenus()
    {
        LayerTree tree;
        QStandardItem* root = tree.projectRoot();
        QStandardItem* cloud = tree.addLayer("/d/a.pts", "a.pts", true, root);
        QStandardItem* bundle = tree.addLayer("/d/s.nvm", "s.nvm", true, root);
        QStandardItem* folder = tree.addFolder(root);
        QCOMPARE(menuTexts(tree.contextMenu(cloud)),
                 (QStringList{"Export->ExportPointCloud", "Zoom To->ZoomToLayer", "Remove->RemoveModel",
                              "Properties->ShowModelProperty"}));
        QCOMPARE(menuTexts(tree.contextMenu(bundle)),
                 (QStringList{"Export", "Zoom To->ZoomToLayer", "remove->RemoveModel", "properties->ShowBundleProperty"}));
        QCOMPARE(menuTexts(tree.contextMenu(folder)),
                 (QStringList{"Add Folder->AddFolderInFolder", "Zoom To->ZoomToLayer", "Remove Folder->RemoveFolder",
                              "Change Folder Symbol->ChangeFolderSymbol"}));
        QCOMPARE(menuTexts(tree.contextMenu(root)),
                 (QStringList{"Add Folder->AddProjectFolder", "Add Data->OpenModel", "Zoom To->ZoomToLayer",
                              "Close Project->CloseProject", "properties->ShowProperty"}));
        QVERIFY(tree.contextMenu(cloud->child(0)).isEmpty());
        QCOMPARE(LayerTree::propertyKind(LayerType::PointCloud), 2);
        QCOMPARE(LayerTree::propertyKind(LayerType::Bundle), 3);
        QCOMPARE(LayerTree::propertyKind(LayerType::Terrain), 1);
    }

    void addDataAddsEachFileUnderTheRoot()
    {
        QTemporaryDir dir;
        // Only a file's own name decides its type: a folder named run.output
        // does not make its cloud a bundle.
        QVERIFY(QDir(dir.path()).mkpath("run.output"));
        const QString cloud = dir.filePath("run.output/one.pts");
        writeFile(cloud, "2\n1 2 3 0 255 0 0\n4 5 6 0 0 255 0\n");
        writeFile(dir.filePath("two.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
        writeFile(dir.filePath("three.xyb"), QByteArray(24, '\0'));
        MainWindow w;
        QStandardItem* root = w.layers()->projectRoot();
        QStandardItem* folder = w.layers()->addFolder(root);
        w.layerView()->setCurrentIndex(folder->index());
        w.addDataFiles({cloud, dir.filePath("two.obj"), dir.filePath("three.xyb")});
        QCOMPARE(childTexts(root), (QStringList{"New Folder", "one.pts", "two.obj", "three.xyb"}));
        QCOMPARE(root->child(1)->child(0)->text(), QString("Type: PointCloud"));
        for (int r = 1; r < root->rowCount(); ++r)
            QCOMPARE(root->child(r)->checkState(), Qt::Checked);
        QCOMPARE(w.statusBar()->currentMessage(), QString("File loaded"));
        w.addDataFiles({QString()});
        QCOMPARE(w.statusBar()->currentMessage(), QString("File not loaded, empty"));

        QSignalSpy unmatched(&w, &MainWindow::senderItem);
        folder->setCheckable(true);
        unmatched.clear();
        folder->setCheckState(Qt::Checked); // a folder has no layer behind it
        QCOMPARE(unmatched.count(), 1);
    }

    // A file that gives nothing was once listed as "File loaded" with an
    // empty layer; now it adds no layer and the user learns why.
    void fileThatLoadsNothingAddsNoLayerAndSaysWhy_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing NVM") << "gone.nvm" << QByteArray() << "Cannot open";
        QTest::newRow("NVM without points")
            << "empty.nvm" << QByteArray("NVM_V3\n\n1\na.jpg 1 1 0 0 0 0 0 0 0 0\n\n0\n") << "line 6";
        QTest::newRow("refused PLY header")
            << "cloud.ply" << QByteArray("ply\nformat ascii 1.0\nelement vertex 2\nproperty float x\nbogus\n")
            << "line";
        QTest::newRow("PTS without count") << "scan.pts" << QByteArray("x y z\n1 2 3\n") << "point count";
        QTest::newRow("KML of another kind")
            << "day.kml" << QByteArray("<kml><Document/></kml>") << "placemarks";
        QTest::newRow("no rule for upper case") << "SCAN.PLY" << QByteArray("ply\n") << "no layer type";
    }
    void fileThatLoadsNothingAddsNoLayerAndSaysWhy()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString path = dir.filePath(name);
        if (!content.isEmpty())
            writeFile(path, content);
        MainWindow w;
        w.addDataFiles({path});
        QCOMPARE(w.layers()->projectRoot()->rowCount(), 0);
        QCOMPARE(w.layers()->layers().size(), 0);
        QVERIFY2(w.statusBar()->currentMessage().startsWith("File not loaded: " + name),
                 qPrintable(w.statusBar()->currentMessage()));
        const QString logged = w.logList()->item(w.logList()->count() - 1)->text();
        QVERIFY2(logged.contains(path) && logged.contains(reason), qPrintable(logged));
    }

    // "Project" stays the only top-level row: it cannot be dragged or
    // renamed, drops beside it land under it, and a layer takes no drops.
    void projectRootStaysTheOnlyTopLevelRow()
    {
        LayerTree tree;
        FakeScene scene;
        tree.setScene(&scene);
        QStandardItemModel* model = tree.model();
        QStandardItem* root = tree.projectRoot();
        QVERIFY(!(root->flags() & (Qt::ItemIsDragEnabled | Qt::ItemIsEditable)));
        QStandardItem* folder = tree.addFolder(root);
        QStandardItem* a = tree.addLayer("/d/a.pts", "a.pts", true, folder);
        QStandardItem* b = tree.addLayer("/d/b.pts", "b.pts", true, root);
        const LayerTree::LayerId idA = LayerTree::layerId(a);

        // As the view moves an item: drop a copy, then remove the source row.
        const auto move = [&](QStandardItem* item, int row, const QModelIndex& target) {
            QMimeData* data = model->mimeData({item->index()});
            const bool dropped = model->canDropMimeData(data, Qt::MoveAction, row, 0, target) &&
                                 model->dropMimeData(data, Qt::MoveAction, row, 0, target);
            delete data;
            if (dropped)
                (item->parent() ? item->parent() : model->invisibleRootItem())->removeRow(item->row());
            return dropped;
        };
        QVERIFY(move(a, -1, QModelIndex())); // empty space below the root
        QVERIFY(move(b, 0, QModelIndex()));  // above the root
        QCOMPARE(model->rowCount(), 1);
        QCOMPARE(childTexts(root), (QStringList{"b.pts", "New Folder", "a.pts"}));
        QStandardItem* movedB = root->child(0);
        QVERIFY(!move(root->child(1), -1, tree.itemOf(idA)->index())); // onto a layer
        QVERIFY(!move(movedB, -1, movedB->child(0)->index()));         // onto a type child
        QCOMPARE(childTexts(root), (QStringList{"b.pts", "New Folder", "a.pts"}));

        // The moved item is still its own layer.
        scene.calls.clear();
        tree.itemOf(idA)->setCheckState(Qt::Unchecked);
        QVERIFY(tree.applyCheckState(tree.itemOf(idA)));
        QCOMPARE(scene.calls, QStringList{"hide /d/a.pts"});
    }

    // A locus outline's icon was a white box with a coloured frame.
    void polygonRecordIconIsTheFilledCategorySwatch()
    {
        LayerTree tree;
        QStandardItem* layer = tree.addLayerWithoutLoading(LayerType::Polygons, "/d/day.kml", "day.kml", true,
                                                           tree.projectRoot());
        AnnotationRecord outline;
        outline.locus = "5";
        outline.locusDesc = "FL-FLOOR";
        const QImage swatch =
            tree.addRecordChild(layer, LayerType::Polygons, outline)->icon().pixmap(46, 32).toImage();
        QCOMPARE(swatch.size(), QSize(46, 32));
        const osg::Vec4f c = CategoryColour::colourOf("FL-FLOOR");
        const QColor expected(int(c.r() * 255), int(c.g() * 255), int(c.b() * 255));
        for (const QPoint& p : {QPoint(0, 0), QPoint(23, 16), QPoint(45, 31)})
            QCOMPARE(swatch.pixelColor(p), expected);
    }
};

QTEST_MAIN(TestLayerTree)
#include "tst_layertree.moc"
