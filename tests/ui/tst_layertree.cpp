#include <QtTest>

#include <QStandardItemModel>
#include <QStatusBar>
#include <QTreeView>

#include "LayerScene.h"
#include "LayerTree.h"
#include "MainWindow.h"

namespace {

// Records what the tree asks of the 3D view.
class FakeScene : public LayerScene
{
public:
    QStringList calls;
    LayerTree* tree = nullptr;
    int typeChildrenAtLoad = -1;

    void loadLayer(LayerType::Code type, const QString& file, bool visible) override
    {
        calls << QString("load %1 %2 %3").arg(LayerType::name(type), file).arg(visible);
        if (tree) {
            QStandardItem* root = tree->projectRoot();
            QStandardItem* last = root->child(root->rowCount() - 1);
            typeChildrenAtLoad = last ? last->rowCount() : -1;
        }
    }
    void setLayerVisible(LayerType::Code type, int index, bool visible) override
    {
        calls << QString("%1 %2 %3").arg(visible ? "show" : "hide", LayerType::name(type)).arg(index);
    }
    void removeLayer(LayerType::Code type, int index) override
    {
        calls << QString("remove %1 %2").arg(LayerType::name(type)).arg(index);
    }
};

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
        out << e.text + (e.slot ? QString("->") + e.slot : QString());
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
        terrain->setCheckState(Qt::Unchecked);
        QVERIFY(!tree.applyCheckState(terrain));
        QCOMPARE(scene.calls, (QStringList{"hide PointCloud 1", "show PointCloud 1"}));
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
        tree.removeLayer(terrain); // terrains stay in the scene
        QVERIFY(tree.lists(LayerType::Terrain).names.isEmpty());
        QCOMPARE(scene.calls, QStringList{"remove PointCloud 1"});
        QCOMPARE(childTexts(root), (QStringList{"a.pts", "c.pts"}));

        scene.calls.clear();
        tree.addLayer("/d/s.nvm", "s.nvm", true, root);
        scene.calls.clear();
        tree.removeAll();
        QCOMPARE(scene.calls, (QStringList{"remove PointCloud 0", "remove PointCloud 0", "remove Bundle 0"}));
        for (LayerType::Code t : LayerType::all())
            QCOMPARE(tree.layerCount(t), 0);
        QCOMPARE(root->rowCount(), 3); // rows are the caller's to remove
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
                 (QStringList{"Export->exportPointCloud()", "Zoom To", "Remove->removeModel()",
                              "Properties->showPropertyWin_Model()"}));
        QCOMPARE(menuTexts(tree.contextMenu(bundle)),
                 (QStringList{"Export", "Zoom To", "remove->removeModel()", "properties->showPropertyWin_BundleFile()"}));
        QCOMPARE(menuTexts(tree.contextMenu(folder)),
                 (QStringList{"Add Folder->addFolderInFolder()", "Zoom To", "Remove Folder->removeFolder()",
                              "Change Folder Symbol->changeFolderSymbol()"}));
        QCOMPARE(menuTexts(tree.contextMenu(root)),
                 (QStringList{"Add Folder->addProjectFolder()", "Add Data->openModel()", "Zoom To",
                              "Close Project->closeProject()", "properties->showProperty()"}));
        QVERIFY(tree.contextMenu(cloud->child(0)).isEmpty());
        QCOMPARE(LayerTree::propertyKind(LayerType::PointCloud), 2);
        QCOMPARE(LayerTree::propertyKind(LayerType::Bundle), 3);
        QCOMPARE(LayerTree::propertyKind(LayerType::Terrain), 1);
    }

    void addDataAddsEachFileUnderTheRoot()
    {
        MainWindow w;
        QStandardItem* root = w.layers()->projectRoot();
        QStandardItem* folder = w.layers()->addFolder(root);
        w.layerView()->setCurrentIndex(folder->index());
        w.addDataFiles({"/d/one.pts", "/d/two.obj", "/d/photo.jpg", "/d/three.osgb"});
        QCOMPARE(childTexts(root), (QStringList{"New Folder", "one.pts", "two.obj", "three.osgb"}));
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
};

QTEST_MAIN(TestLayerTree)
#include "tst_layertree.moc"
