#include <QtTest>

#include "LayerMenu.h"
#include <QTimer>

#include <QAbstractButton>
#include <QAction>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTreeView>

#include <osg/Geode>
#include <osg/Texture2D>
#include <osg/Transform>

#include "TestRasters.h"
#include "core/georef/GeoReference.h"
#include "core/project/ProjectWriter.h"
#include "ui/layers/CloudConversion.h"
#include "ui/layers/LayerTree.h"
#include "ui/main/MainWindow.h"
#include "scene/interaction/MapController.h"
#include "scene/view/OsgWidget.h"
#include "ui/annotation/PointForm.h"
#include "ui/annotation/PolygonForm.h"
#include "scene/layers/PointCloudLoader.h"
#include "core/project/ProjectDocument.h"
#include "core/project/ProjectReader.h"
#include "core/net/TCPServer.h"
#include "WireCodec.h"

namespace
{

// A reconstruction of one camera and three points at x = offset .. offset + 2.
void writeNvm(const QString& path, int offset)
{
    QByteArray text = "NVM_V3\n\n1\nimg.jpg 100 1 0 0 0 0 0 0 0 0\n\n3\n";
    for (int i = 0; i < 3; ++i)
        text += QByteArray::number(offset + i) + " 0 0 255 0 0 0\n";
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

// Where the points of the layer the item stands for lie (-1 without any).
double pointsAt(MainWindow& w, QStandardItem* item)
{
    const osg::Node* node = w.sceneView()->layerNode(LayerTree::layerId(item));
    return node ? node->getBound().center().x() - 1.0 : -1.0;
}

bool shown(MainWindow& w, QStandardItem* item)
{
    const osg::Node* node = w.sceneView()->layerNode(LayerTree::layerId(item));
    return node && node->getNodeMask() != 0u && w.sceneView()->getRoot()->containsNode(node);
}


void removeThroughTheMenu(MainWindow& w, QStandardItem* item)
{
    w.layerView()->setCurrentIndex(item->index());
    w.removeModel();
}

// Answers the next modal message box with the given button and records its text.
void answerNextBox(QMessageBox::StandardButton button, QString* text = nullptr)
{
    QTimer::singleShot(0, [=] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        if (text)
            *text = box->text();
        box->button(button)->click();
    });
}

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

osg::Vec3d eyeOf(OsgWidget* scene)
{
    return scene->activeManipulator()->getMatrix().getTrans();
}

osg::Vec3d lookOf(OsgWidget* scene)
{
    osg::Vec3d look =
        osg::Matrixd::transform3x3(osg::Vec3d(0, 0, -1), scene->activeManipulator()->getMatrix());
    look.normalize();
    return look;
}

bool near(const osg::Vec3d& a, const osg::Vec3d& b)
{
    return (a - b).length() < 1e-6 * std::max(1.0, b.length());
}

// OrthoDsm's pair in folder/ortho: an 8 x 8 m DSM in UTM 33N and its orthophoto.
QString writeOrthoPair(const QString& folder)
{
    const TestRasters::Spec dsm;
    if (!QDir(folder).mkpath("ortho") || !TestRasters::write(folder + "/ortho/dsm.tif", dsm) ||
        !TestRasters::write(folder + "/ortho/orthophoto.tif", TestRasters::orthophoto(dsm)))
        return {};
    return folder + "/ortho/dsm.tif";
}

bool drawn(MainWindow& w, QStandardItem* item)
{
    const osg::Node* node = w.sceneView()->layerNode(LayerTree::layerId(item));
    return node && node->getNodeMask() != 0u && w.sceneView()->getRoot()->containsNode(node);
}

QStringList logLines(MainWindow& w)
{
    QStringList lines;
    for (int i = 0; i < w.logList()->count(); ++i)
        lines << w.logList()->item(i)->text();
    return lines;
}

// A small PTS scan in folder: count line, then x y z intensity r g b.
QString writePts(const QString& folder, const QString& name)
{
    const QString path = folder + '/' + name;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return {};
    file.write("3\n1 2 3 -100 10 20 30\n4 5 6 200 40 50 60\n7 8 9 0 70 80 90\n");
    return path;
}

} // namespace

// The main window with its real 3D view and command server: what a user does
// through "Add Data", the layer check boxes and the ground station.
class TestMainWindowScene : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Q_INIT_RESOURCE(images); }

    void addedLayersReachTheSceneAndFollowTheirCheckBoxes()
    {
        QTemporaryDir dir;
        MainWindow w;
        w.addDataFiles({ORVALIS_SOURCE_DIR "/samples/trench_site.ply", writePts(dir.path(), "pdal_test.pts"),
                        ORVALIS_SOURCE_DIR "/samples/trench_site.nvm"});
        OsgWidget* scene = w.sceneView();
        QCOMPARE(int(scene->pointClouds().size()), 2);
        QCOMPARE(int(scene->sparseBundles().size()), 1);
        QVERIFY(scene->getRoot()->getNumChildren() > 2);

        QStandardItem* root = w.layers()->projectRoot();
        QStandardItem* second = root->child(1);
        QCOMPARE(second->text(), QString("pdal_test.pts"));
        second->setCheckState(Qt::Unchecked);
        QCOMPARE(scene->pointClouds()[1]->getNodeMask(), 0u);
        QVERIFY(scene->pointClouds()[0]->getNodeMask() != 0u);
        second->setCheckState(Qt::Checked);
        QVERIFY(scene->pointClouds()[1]->getNodeMask() != 0u);

        // Removing the first cloud keeps the second one's index in step.
        w.layerView()->setCurrentIndex(root->child(0)->index());
        w.removeModel();
        QCOMPARE(int(scene->pointClouds().size()), 1);
        QCOMPARE(w.layers()->lists(LayerType::PointCloud).names, QStringList{"pdal_test.pts"});
        root->child(0)->setCheckState(Qt::Unchecked);
        QCOMPARE(scene->pointClouds()[0]->getNodeMask(), 0u);
    }

    void exportWritesTheCloudAsPly()
    {
        QTemporaryDir dir;
        MainWindow w;
        w.addDataFiles({writePts(dir.path(), "scan.pts")});
        const QString out = dir.filePath("exported.ply");
        QVERIFY(w.exportPointCloudTo(0, out));
        QFile f(out);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QVERIFY(f.readLine().startsWith("ply"));
        QVERIFY(!w.exportPointCloudTo(5, dir.filePath("none.ply")));
        QVERIFY(w.statusBar()->currentMessage().startsWith("Export failed"));
    }

    // What "&Run Dense" leaves in pmvs/models: PLY text named ".patch",
    // added as a point cloud layer with its points in the scene.
    void densePatchFileAddsAPointCloudLayer()
    {
        QTemporaryDir dir;
        const QString patch = dir.filePath("option-0000.patch");
        QFile f(patch);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("ply\nformat ascii 1.0\ncomment pmvs2 option-0000\nelement vertex 3\nproperty float x\n"
                "property float y\nproperty float z\nproperty float nx\nproperty float ny\nproperty float nz\n"
                "property uchar red\nproperty uchar green\nproperty uchar blue\nproperty uchar alpha\n"
                "element face 0\nproperty list uchar int vertex_indices\nend_header\n"
                "1 2 3 0 0 1 255 0 0 255\n4 5 6 0 1 0 0 255 0 255\n7 8 9 1 0 0 0 0 255 255\n");
        f.close();
        MainWindow w;
        w.addDataFiles({patch});
        QCOMPARE(w.layers()->lists(LayerType::PointCloud).names, QStringList{"option-0000.patch"});
        const auto& clouds = w.sceneView()->pointClouds();
        QCOMPARE(int(clouds.size()), 1);
        osg::ref_ptr<osg::Vec3Array> vertices;
        osg::ref_ptr<osg::Vec4Array> colours;
        QVERIFY(PointCloudLoader::extractArrays(clouds[0]->asGroup(), vertices, colours));
        QCOMPARE(int(vertices->size()), 3);
    }

    // The tree once found a bundle by its position among the bundle names,
    // while the view skipped Bundler files: unchecking a.nvm hid b.nvm.
    void bundleCheckBoxAndRemoveActOnTheirOwnBundle()
    {
        QTemporaryDir dir;
        QFile out(dir.filePath("bundle.out"));
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("# Bundle file v0.3\n0 0\n");
        out.close();
        writeNvm(dir.filePath("a.nvm"), 0);
        writeNvm(dir.filePath("b.nvm"), 100);
        MainWindow w;
        w.addDataFiles({out.fileName(), dir.filePath("a.nvm"), dir.filePath("b.nvm")});
        QStandardItem* root = w.layers()->projectRoot();
        QCOMPARE(root->rowCount(), 3);
        QStandardItem* a = root->child(1);
        QStandardItem* b = root->child(2);
        QCOMPARE(pointsAt(w, a), 0.0);
        QCOMPARE(pointsAt(w, b), 100.0);
        a->setCheckState(Qt::Unchecked);
        QVERIFY(!shown(w, a));
        QVERIFY(shown(w, b));
        removeThroughTheMenu(w, a);
        QVERIFY(shown(w, b));
        QCOMPARE(w.layers()->lists(LayerType::Bundle).names, (QStringList{"bundle.out", "b.nvm"}));
        b->setCheckState(Qt::Unchecked);
        QVERIFY(!shown(w, b));
    }

    // A fit to control points writes the bundle's georeference and reads its
    // layer again in place: the same layer, as hidden as it was, at its new place.
    void bundleReadAgainInPlace()
    {
        QTemporaryDir dir;
        writeNvm(dir.filePath("a.nvm"), 0);
        writeNvm(dir.filePath("b.nvm"), 100);
        MainWindow w;
        w.addDataFiles({dir.filePath("a.nvm"), dir.filePath("b.nvm")});
        QStandardItem* a = w.layers()->projectRoot()->child(0);
        QStandardItem* b = w.layers()->projectRoot()->child(1);
        a->setCheckState(Qt::Unchecked);
        GeoReference geo;
        geo.translation.set(712000, 4123000, 95);
        QString error;
        QVERIFY2(geo.write(dir.filePath("a.txt"), &error), qPrintable(error));
        OsgWidget* scene = w.sceneView();
        const OsgWidget::LayerId id = LayerTree::layerId(a);
        QVERIFY2(scene->reloadLayer(id, &error), qPrintable(error));
        QCOMPARE(scene->layerFile(id), dir.filePath("a.nvm"));
        // The bundle read again takes the old one's place: two, each a layer's.
        QCOMPARE(int(scene->sparseBundles().size()), 2);
        for (const SparseBundle* bundle : scene->sparseBundles())
            QVERIFY(scene->bundleLayer(bundle) != OsgWidget::noLayer);
        const osg::Node* points = scene->layerNode(id);
        QVERIFY(points && points->getNodeMask() == 0u);
        QVERIFY(shown(w, b));
        QCOMPARE(pointsAt(w, b), 100.0);
        a->setCheckState(Qt::Checked);
        QVERIFY(scene->layerNode(id)->getNodeMask() != 0u);
        // The points now hang under the georeference: in the scene's frame
        // they lie at the survey coordinates, less the scene's origin.
        const osg::NodePathList paths = points->getParentalNodePaths();
        QCOMPARE(int(paths.size()), 1);
        QVERIFY(std::find(paths.front().begin(), paths.front().end(), scene->getRoot()) != paths.front().end());
        const osg::Vec3d centre = osg::Vec3d(points->getBound().center()) * osg::computeLocalToWorld(paths.front());
        QVERIFY2((centre + scene->sceneOrigin().value() - osg::Vec3d(712001, 4123000, 95)).length() < 1e-3,
                 qPrintable(QString("%1 %2 %3").arg(centre.x()).arg(centre.y()).arg(centre.z())));
    }

    // A bundle file that failed to read once kept a tree entry but no scene
    // object, so the next bundle's check box acted on nothing.
    void failedNvmLeavesTheNextBundleItsOwnCheckBox()
    {
        QTemporaryDir dir;
        QFile bad(dir.filePath("bad.nvm"));
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("NVM_V3\n\nnot a count\n");
        bad.close();
        writeNvm(dir.filePath("good.nvm"), 100);
        MainWindow w;
        w.addDataFiles({bad.fileName(), dir.filePath("good.nvm")});
        QStandardItem* root = w.layers()->projectRoot();
        QCOMPARE(root->rowCount(), 1);
        QStandardItem* good = root->child(0);
        QCOMPARE(pointsAt(w, good), 100.0);
        good->setCheckState(Qt::Unchecked);
        QVERIFY(!shown(w, good));
        good->setCheckState(Qt::Checked);
        QVERIFY(shown(w, good));
    }

    // Layers were found by display name: two files named a.nvm from two
    // folders shared one check box.
    void sameFileNameFromTwoFoldersActsOnItsOwnLayer()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("north") && QDir(dir.path()).mkpath("south"));
        writeNvm(dir.filePath("north/a.nvm"), 0);
        writeNvm(dir.filePath("south/a.nvm"), 100);
        MainWindow w;
        w.addDataFiles({dir.filePath("north/a.nvm"), dir.filePath("south/a.nvm")});
        QStandardItem* root = w.layers()->projectRoot();
        QStandardItem* north = root->child(0);
        QStandardItem* south = root->child(1);
        QCOMPARE(north->text(), south->text());
        south->setCheckState(Qt::Unchecked);
        QVERIFY(shown(w, north));
        QVERIFY(!shown(w, south));
        const osg::ref_ptr<osg::Node> northPoints = w.sceneView()->layerNode(LayerTree::layerId(north));
        QVERIFY(northPoints);
        removeThroughTheMenu(w, north);
        QVERIFY(!w.sceneView()->getRoot()->containsNode(northPoints.get()));
        QCOMPARE(int(w.sceneView()->sparseBundles().size()), 1);
        QVERIFY(w.sceneView()->getRoot()->containsNode(w.sceneView()->layerNode(LayerTree::layerId(south))));
        QCOMPARE(w.layers()->lists(LayerType::Bundle).files,
                 QList<QByteArray>{dir.filePath("south/a.nvm").toUtf8()});
    }

    // A renamed layer was matched by no name: its check box and "Remove" did
    // nothing, and the project kept the old name beside the new one.
    void renamedLayerKeepsItsCheckBoxRemoveAndFile()
    {
        QTemporaryDir dir;
        writeNvm(dir.filePath("a.nvm"), 0);
        writeNvm(dir.filePath("b.nvm"), 100);
        MainWindow w;
        w.addDataFiles({dir.filePath("a.nvm"), dir.filePath("b.nvm")});
        QStandardItem* root = w.layers()->projectRoot();
        QStandardItem* b = root->child(1);
        b->setText("north trench");
        b->setCheckState(Qt::Unchecked);
        QVERIFY(!shown(w, b));
        QVERIFY(shown(w, root->child(0)));

        const QString project = dir.filePath("site.prj");
        QVERIFY(w.writeProjectFile(project));
        ProjectDocument doc;
        QVERIFY(ProjectReader::readFile(project, doc));
        QCOMPARE(doc.layers[LayerType::Bundle].size(), 2);
        QCOMPARE(doc.layers[LayerType::Bundle][1].name, QString("north trench"));
        QCOMPARE(doc.layers[LayerType::Bundle][1].file, dir.filePath("b.nvm").toUtf8());
        QVERIFY(!doc.layers[LayerType::Bundle][1].visible);
        QCOMPARE(doc.tree[1].text, QString("north trench"));

        const osg::Node* points = w.sceneView()->layerNode(LayerTree::layerId(b));
        removeThroughTheMenu(w, b);
        QVERIFY(!w.sceneView()->getRoot()->containsNode(points));
        QVERIFY(shown(w, root->child(0)));
    }

    // A terrain's check box, "Remove" and Close Project passed it over: its
    // mesh stayed drawn after its entry was gone.
    void terrainFollowsItsCheckBoxRemoveAndCloseProject()
    {
        QTemporaryDir dir;
        const QString dsm = writeOrthoPair(dir.path());
        MainWindow w;
        w.addDataFiles({dsm});
        QStandardItem* root = w.layers()->projectRoot();
        QStandardItem* terrain = root->child(0);
        QVERIFY(drawn(w, terrain));
        terrain->setCheckState(Qt::Unchecked);
        QVERIFY(!drawn(w, terrain));
        terrain->setCheckState(Qt::Checked);
        QVERIFY(drawn(w, terrain));
        const osg::Node* mesh = w.sceneView()->layerNode(LayerTree::layerId(terrain));
        removeThroughTheMenu(w, terrain);
        QVERIFY(!w.sceneView()->getRoot()->containsNode(mesh));
        QVERIFY(w.sceneView()->terrains().empty());

        w.addDataFiles({dsm});
        mesh = w.sceneView()->layerNode(LayerTree::layerId(root->child(0)));
        QVERIFY(w.sceneView()->getRoot()->containsNode(mesh));
        answerNextBox(QMessageBox::Discard);
        w.closeProject();
        QCOMPARE(root->rowCount(), 0);
        QVERIFY(!w.sceneView()->getRoot()->containsNode(mesh));
        QVERIFY(w.sceneView()->terrains().empty());
    }

    // A grey orthophoto (one band of bytes) was refused: no terrain at all.
    void greyOrthophotoOpensDraped()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath("ortho"));
        const TestRasters::Spec dsm;
        TestRasters::Spec grey = TestRasters::orthophoto(dsm);
        grey.bands = 1;
        grey.lastBand = GCI_GrayIndex;
        QVERIFY(TestRasters::write(dir.filePath("ortho/dsm.tif"), dsm));
        QVERIFY(TestRasters::write(dir.filePath("ortho/orthophoto.tif"), grey));
        MainWindow w;
        w.addDataFiles({dir.filePath("ortho/orthophoto.tif")});
        QCOMPARE(int(w.sceneView()->terrains().size()), 1);
        const osg::Node* mesh =
            w.sceneView()->layerNode(LayerTree::layerId(w.layers()->projectRoot()->child(0)));
        struct FindTexture : osg::NodeVisitor {
            const osg::Image* image = nullptr;
            FindTexture() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN) {}
            void apply(osg::Geode& g) override
            {
                const osg::StateSet* state = g.getStateSet();
                const osg::StateAttribute* t =
                    state ? state->getTextureAttribute(0, osg::StateAttribute::TEXTURE) : nullptr;
                if (auto* texture = dynamic_cast<const osg::Texture2D*>(t))
                    image = texture->getImage();
            }
        } find;
        const_cast<osg::Node*>(mesh)->accept(find);
        QVERIFY(find.image);
        const unsigned char* cell = find.image->data(0, 0);
        QCOMPARE(QVector<int>({cell[0], cell[1], cell[2], cell[3]}), QVector<int>({40, 40, 40, 255}));
    }

    // A terrain saved hidden reopened drawn.
    void terrainSavedHiddenReopensHidden()
    {
        QTemporaryDir dir;
        MainWindow w;
        w.addDataFiles({writeOrthoPair(dir.path())});
        w.layers()->projectRoot()->child(0)->setCheckState(Qt::Unchecked);
        const QString project = dir.filePath("site.prj");
        QVERIFY(w.writeProjectFile(project));
        MainWindow other;
        QVERIFY(other.openProjectFile(project));
        QStandardItem* terrain = other.layers()->projectRoot()->child(0);
        QCOMPARE(terrain->checkState(), Qt::Unchecked);
        QVERIFY(other.sceneView()->hasLayer(LayerTree::layerId(terrain)));
        QVERIFY(!drawn(other, terrain));
        terrain->setCheckState(Qt::Checked);
        QVERIFY(drawn(other, terrain));
    }

    // Opening the DSM and its orthophoto drew the same draped mesh twice.
    void dsmAndOrthophotoAreOneTerrainLayer()
    {
        QTemporaryDir dir;
        const QString dsm = writeOrthoPair(dir.path());
        const QString ortho = dir.filePath("ortho/orthophoto.tif");
        MainWindow w;
        w.addDataFiles({dsm, ortho});
        QStandardItem* root = w.layers()->projectRoot();
        QCOMPARE(root->rowCount(), 1);
        QCOMPARE(int(w.sceneView()->terrains().size()), 1);
        const QString said = "orthophoto.tif is already shown as layer dsm.tif";
        QCOMPARE(w.statusBar()->currentMessage(), said);
        QVERIFY(logLines(w).contains(said));
        // The other way round, one after the other.
        MainWindow other;
        other.addDataFiles({ortho});
        other.addDataFiles({dsm});
        QCOMPARE(other.layers()->projectRoot()->rowCount(), 1);
        QCOMPARE(int(other.sceneView()->terrains().size()), 1);
        QCOMPARE(other.statusBar()->currentMessage(),
                 QString("dsm.tif is already shown as layer orthophoto.tif"));
    }

    // A project that lists both rasters keeps both entries and draws one
    // mesh; saving it again loses neither.
    void projectListingTheWholePairDrawsOneMesh()
    {
        QTemporaryDir dir;
        const QString dsm = writeOrthoPair(dir.path());
        ProjectDocument doc;
        for (const QString& file : {dsm, dir.filePath("ortho/orthophoto.tif")}) {
            const QString name = file.mid(file.lastIndexOf('/') + 1);
            doc.tree.append({ProjectDocument::Node::Layer, name, LayerType::Terrain, {}});
            doc.layers[LayerType::Terrain].append({file.toUtf8(), name, true});
        }
        const QString project = dir.filePath("pair.prj");
        QVERIFY(ProjectWriter::writeFile(project, doc));
        MainWindow w;
        QVERIFY(w.openProjectFile(project));
        QStandardItem* root = w.layers()->projectRoot();
        QCOMPARE(root->rowCount(), 2);
        QCOMPARE(int(w.sceneView()->terrains().size()), 1);
        QVERIFY(drawn(w, root->child(0)));
        QVERIFY(!w.sceneView()->hasLayer(LayerTree::layerId(root->child(1))));
        QVERIFY2(root->child(1)->toolTip().contains("Shown as layer dsm.tif"),
                 qPrintable(root->child(1)->toolTip()));
        const QString again = dir.filePath("again.prj");
        QVERIFY(w.writeProjectFile(again));
        ProjectDocument saved;
        QVERIFY(ProjectReader::readFile(again, saved));
        QCOMPARE(saved.layers[LayerType::Terrain].size(), 2);
        QCOMPARE(saved.layers[LayerType::Terrain][1].file, dir.filePath("ortho/orthophoto.tif").toUtf8());
    }

    // A DSM in degrees (EPSG:4326) stood at x = 15, y = 37: it goes into the
    // reconstruction's UTM zone, or is refused with the way out.
    void terrainInDegreesGoesIntoTheReconstructionsSystem()
    {
        QTemporaryDir dir;
        TestRasters::Spec spec;
        spec.width = spec.height = 20;
        spec.epsg = 4326;
        const double t[6] = {15.3, 0.0005, 0, 37.21, 0, -0.0005}; // about 900 m a side
        std::copy(t, t + 6, spec.transform);
        QVERIFY(QDir(dir.path()).mkpath("wgs84"));
        const QString dsm = dir.filePath("wgs84/dsm.tif");
        QVERIFY(TestRasters::write(dsm, spec));

        MainWindow alone;
        alone.addDataFiles({dsm});
        QCOMPARE(alone.layers()->projectRoot()->rowCount(), 0);
        QVERIFY2(logLines(alone).join('\n').contains("gdalwarp -t_srs"),
                 qPrintable(logLines(alone).join('\n')));

        writeNvm(dir.filePath("site.nvm"), 0);
        GeoReference geo;
        geo.translation.set(526600, 4118300, 90);
        geo.epsg = 32633;
        QString error;
        QVERIFY2(geo.write(dir.filePath("site.txt"), &error), qPrintable(error));
        MainWindow w;
        w.addDataFiles({dir.filePath("site.nvm"), dsm});
        QCOMPARE(w.layers()->projectRoot()->rowCount(), 2);
        const osg::Node* mesh =
            w.sceneView()->layerNode(LayerTree::layerId(w.layers()->projectRoot()->child(1)));
        QVERIFY(mesh);
        // Placed at its survey coordinates by the transform the layer node is.
        const osg::Vec3d centre = mesh->getBound().center();
        // Where PROJ puts 15.305 E 37.205 N in UTM 33N.
        OGRSpatialReference wgs84, utm;
        wgs84.importFromEPSG(4326);
        utm.importFromEPSG(32633);
        wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        std::unique_ptr<OGRCoordinateTransformation> toUtm(OGRCreateCoordinateTransformation(&wgs84, &utm));
        double x = 15.305, y = 37.205;
        QVERIFY(toUtm && toUtm->Transform(1, &x, &y));
        QVERIFY2(std::abs(centre.x() - x) < 30 && std::abs(centre.y() - y) < 30,
                 qPrintable(QString("%1 %2 for %3 %4")
                                .arg(centre.x(), 0, 'f', 1)
                                .arg(centre.y(), 0, 'f', 1)
                                .arg(x, 0, 'f', 1)
                                .arg(y, 0, 'f', 1)));
    }

    // The twelfth bookmark once added a twelfth menu entry going nowhere,
    // and entries went toward the first layer instead of the saved view.
    // "Zoom To" looks from the top at the layer wherever it lies, at survey
    // coordinates too (a reconstruction under its georeference); on the
    // project, at every layer.
    void zoomToFramesTheLayer()
    {
        QTemporaryDir dir;
        QVERIFY(QFile::copy(QStringLiteral(ORVALIS_SOURCE_DIR "/samples/trench_site.nvm"), dir.filePath("sparse.nvm")));
        QFile geo(dir.filePath("sparse.txt"));
        QVERIFY(geo.open(QIODevice::WriteOnly));
        geo.write("1 0 0\n0 1 0\n0 0 1\n712000 4123000 95\n1 1 1\n");
        geo.close();
        MainWindow w;
        w.addDataFiles({QStringLiteral(ORVALIS_SOURCE_DIR "/samples/trench_site.ply"), dir.filePath("sparse.nvm")});
        const auto centre = [&w] { return eyeOf(w.sceneView()); };
        QVERIFY(chooseInLayerMenu(w, w.layers()->findLayerItem(LayerType::Bundle, "sparse.nvm"), "Zoom To"));
        const osg::Vec3d atBundle = centre();
        QVERIFY2(std::abs(atBundle.x() - 712010) < 15 && std::abs(atBundle.y() - 4123010) < 15,
                 qPrintable(QString("%1 %2").arg(atBundle.x(), 0, 'f', 1).arg(atBundle.y(), 0, 'f', 1)));
        QVERIFY(chooseInLayerMenu(w, w.layers()->findLayerItem(LayerType::PointCloud, "trench_site.ply"), "Zoom To"));
        QVERIFY(std::abs(centre().x()) < 50 && std::abs(centre().y()) < 50);
        QVERIFY(chooseInLayerMenu(w, w.layers()->projectRoot(), "Zoom To"));
        QVERIFY(std::abs(centre().x() - 356000) < 10000);
    }

    void bookmarkMenuListsExactlyTheSceneBookmarks()
    {
        QTemporaryDir dir;
        writeNvm(dir.filePath("a.nvm"), 500);
        MainWindow w;
        w.addDataFiles({dir.filePath("a.nvm")});
        OsgWidget* scene = w.sceneView();
        const auto eye = [](int i) { return osg::Vec3d(i, 100.0 + i, 50); };
        const auto centre = [](int i) { return osg::Vec3d(i, 0, 0); };
        for (int i = 0; i < 12; ++i) {
            scene->getCamera()->setViewMatrixAsLookAt(eye(i), centre(i), osg::Vec3d(0, 0, 1));
            w.createBookmark();
        }
        const auto checkMenu = [&](int firstSaved) {
            const QList<QAction*> entries = w.bookmarkMenu()->actions();
            QCOMPARE(entries.size(), scene->bookmarkCount());
            for (int k = 0; k < entries.size(); ++k) {
                QCOMPARE(entries[k]->text(), "&bookmark" + QString::number(k));
                entries[k]->trigger();
                QVERIFY(near(eyeOf(scene), eye(firstSaved + k)));
                osg::Vec3d look = centre(firstSaved + k) - eye(firstSaved + k);
                look.normalize();
                QVERIFY(near(lookOf(scene), look));
            }
        };
        QCOMPARE(scene->bookmarkCount(), 11);
        checkMenu(1);

        // A project that holds bookmarks brings them and their entries.
        const QString project = dir.filePath("views.prj");
        QVERIFY(w.writeProjectFile(project));
        MainWindow other;
        other.createBookmark();
        QVERIFY(other.openProjectFile(project));
        QCOMPARE(other.sceneView()->bookmarkCount(), 11);
        QCOMPARE(other.bookmarkMenu()->actions().size(), 11);
        other.bookmarkMenu()->actions().last()->trigger();
        QVERIFY(near(eyeOf(other.sceneView()), eye(11)));
    }

    void groundStationPositionReachesTheWindow()
    {
        MainWindow w;
        // A free loopback port, so parallel runs do not collide on 28005.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        w.commandServer()->setPort(port);
        w.getPointToggle(true);
        QVERIFY(w.commandServer()->isListening());

        QSignalSpy positions(&w, &MainWindow::serverPositionReceived);
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, port);
        QVERIFY(socket.waitForConnected(3000));
        socket.write(WireCodec::encodeString(31, "1.5,2,3"));
        QVERIFY(socket.waitForBytesWritten(3000));
        QTRY_COMPARE(positions.count(), 1);
        QCOMPARE(positions[0][0].toFloat(), 1.5f);
        QCOMPARE(positions[0][1].toFloat(), 2.0f);
        QCOMPARE(positions[0][2].toFloat(), 3.0f);

        w.updateFromServerPos("1,,3");
        QCOMPARE(positions.count(), 1);
        w.getPointToggle(false);
        QVERIFY(!w.commandServer()->isListening());
    }

    // Switching polygon input off once stopped the server that point input
    // still needed.
    void commandServerListensWhileEitherInputIsOn()
    {
        MainWindow w;
        w.commandServer()->setPort(freePort());
        QAbstractButton* points = w.pointForm()->toggleButton();
        QAbstractButton* polygons = w.polygonForm()->toggleButton();
        points->setChecked(true);
        polygons->setChecked(true);
        QVERIFY(w.commandServer()->isListening());
        polygons->setChecked(false);
        QVERIFY(w.commandServer()->isListening());
        polygons->setChecked(true);
        points->setChecked(false);
        QVERIFY(w.commandServer()->isListening());
        polygons->setChecked(false);
        QVERIFY(!w.commandServer()->isListening());
    }

    // A taken port was only mentioned in the hidden log view, with the
    // toggle left on as if the ground station could reach the form.
    void commandServerThatCannotListenTurnsItsToggleBackOff()
    {
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::LocalHost));
        MainWindow w;
        w.commandServer()->setPort(other.serverPort());
        QString shown;
        answerNextBox(QMessageBox::Ok, &shown);
        w.pointForm()->toggleButton()->setChecked(true);
        QVERIFY(!w.commandServer()->isListening());
        QVERIFY(!w.pointForm()->toggleButton()->isChecked());
        QVERIFY(!w.annotationInput()->pointInput());
        QVERIFY(!w.sceneView()->mapController()->getPointMode());
        QVERIFY2(shown.contains(QString::number(other.serverPort())), qPrintable(shown));
        QVERIFY2(w.statusBar()->currentMessage().startsWith("Command server not started: "),
                 qPrintable(w.statusBar()->currentMessage()));
        // Once the port is free the toggle works again.
        other.close();
        w.pointForm()->toggleButton()->setChecked(true);
        QVERIFY(w.commandServer()->isListening());
    }

    // The forms' input switches reach the 3D view's picking controller, and
    // positions from the ground station show up as its point marker.
    void annotationInputDrivesThePickingController()
    {
        MainWindow w;
        w.commandServer()->setPort(0); // any free port
        MapController* controller = w.sceneView()->mapController();
        w.pointForm()->toggleButton()->setChecked(true);
        QVERIFY(controller->getPointMode());
        w.updateFromServerPos("1.5,2,3");
        QVERIFY(controller->pointCapture().group()->getNumChildren() > 0);
        w.pointForm()->toggleButton()->setChecked(false);
        QVERIFY(!controller->getPointMode());
        QCOMPARE(controller->pointCapture().group()->getNumChildren(), 0u);

        w.polygonForm()->toggleButton()->setChecked(true);
        QVERIFY(controller->getPolygonMode());
        w.polygonForm()->toggleButton()->setChecked(false);
        QVERIFY(!controller->getPolygonMode());
    }

    // "&PLY->OSGA(LOD)" end to end: the tool runs from the build's program
    // folder, and the finished archive is offered as a layer.
    void plyBecomesAnArchiveLayerOnRequest()
    {
        QTemporaryDir dir;
        QFile ply(dir.filePath("dense.ply"));
        QVERIFY(ply.open(QIODevice::WriteOnly));
        ply.write("ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                  "property float z\nend_header\n1 2 3\n4 5 6\n7 8 9\n");
        ply.close();

        MainWindow w;
        w.cloudConversion()->setApplicationFolder(ORVALIS_APP_DIR);
        QString shown;
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown = box->text();
                box->button(box->standardButtons() & QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::Ok)->click();
            }
        });
        answer.start(20);
        w.convertPlyToOsga(ply.fileName().toStdString());
        QTRY_COMPARE_WITH_TIMEOUT(w.layers()->lists(LayerType::PointCloud).names, QStringList{"dense.osga"}, 60000);
        QCOMPARE(shown, QString("Ply Successfully Converted"));
        QVERIFY(w.sceneView()->lodControlEnabled());
        QVERIFY(!QFile::exists(dir.filePath("dense.bin")));
    }
};

QTEST_MAIN(TestMainWindowScene)
#include "tst_mainwindowscene.moc"
