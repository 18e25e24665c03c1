#include <QtTest>

#include <QStandardItemModel>
#include <QStatusBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTreeView>

#include "LayerTree.h"
#include "MapController.h"
#include "PointForm.h"
#include "PolygonForm.h"
#include <QPushButton>
#include "MainWindow.h"
#include "OsgWidget.h"
#include "TCPServer.h"
#include "WireCodec.h"

namespace {
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
};

QTEST_MAIN(TestMainWindowScene)
#include "tst_mainwindowscene.moc"
