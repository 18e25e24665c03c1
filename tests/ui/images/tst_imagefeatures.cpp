#include <QtTest>

#include <QTemporaryDir>

#include "ui/images/ImageFeatures.h"
#include "scene/view/OsgWidget.h"
#include "SharedData.h"

class TestImageFeatures : public QObject
{
    Q_OBJECT
private slots:
    // VisualSfM names its cameras with a folder ("images/100_7103.JPG"); the
    // viewer's photograph is found by its file name all the same.
    void cameraIsFoundByFileName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("camera");
        QTest::newRow("as written") << "100_7103.JPG" << 0;
        QTest::newRow("other case") << "100_7106.jpg" << 1;
        QTest::newRow("not in the bundle") << "100_7199.JPG" << -1;
    }
    void cameraIsFoundByFileName()
    {
        REQUIRE_SHARED_DATA();
        QFETCH(QString, name);
        QFETCH(int, camera);
        OsgWidget scene(osgViewer::ViewerBase::SingleThreaded, nullptr);
        QVERIFY(scene.loadBundle(SharedData::path("nvm/sceaux_castle_vsfm.nvm"), true));
        QSet<int> used;
        QCOMPARE(ImageFeatures::cameraOf(name, &scene, &used), camera);
        QCOMPARE(used.isEmpty(), camera < 0);
    }

    // With one reconstruction loaded twice from two folders, a photograph
    // takes the cameras of the one whose folder holds it; a photograph in
    // neither gets none, and the reason, rather than the first one's.
    void photoTakesTheCamerasOfItsOwnReconstruction_data()
    {
        QTest::addColumn<QString>("photoFolder");
        QTest::addColumn<int>("camera");
        QTest::addColumn<QString>("reconstruction");
        QTest::newRow("second") << "second" << 1 << "second";
        QTest::newRow("first") << "first" << 1 << "first";
        QTest::newRow("neither") << "elsewhere" << -1 << "";
    }
    void photoTakesTheCamerasOfItsOwnReconstruction()
    {
        REQUIRE_SHARED_DATA();
        QFETCH(QString, photoFolder);
        QFETCH(int, camera);
        QFETCH(QString, reconstruction);
        QTemporaryDir root;
        OsgWidget scene(osgViewer::ViewerBase::SingleThreaded, nullptr);
        for (const char* folder : {"first", "second"}) {
            QVERIFY(QDir(root.path()).mkpath(folder));
            const QString nvm = root.filePath(QString(folder) + "/sparse.nvm");
            QVERIFY(QFile::copy(SharedData::path("nvm/sceaux_castle_vsfm.nvm"), nvm));
            QVERIFY(scene.loadBundle(nvm, true));
        }
        QString folder, problem;
        QSet<int> used;
        const QString photo = root.filePath(photoFolder + "/images/100_7106.jpg");
        QCOMPARE(ImageFeatures::cameraOf(photo, &scene, &used, &folder, &problem), camera);
        QCOMPARE(folder, reconstruction.isEmpty() ? QString() : root.filePath(reconstruction) + "/");
        QCOMPARE(problem.contains("2 loaded reconstructions"), camera < 0);
    }

    void nearestFeatureWithinTheRadius()
    {
        ImageFeatures f;
        f.features = {{0, 10, 10, 1, 0}, {1, 50, 50, 1, 0}, {2, 53, 54, 1, 0}};
        double d = 0;
        QCOMPARE(f.nearest(QPointF(52, 53), 100, &d)->index, 2);
        QCOMPARE(d, std::hypot(1.0, 1.0));
        QVERIFY(!f.nearest(QPointF(300, 300), 100));
    }
};

QTEST_MAIN(TestImageFeatures)
#include "tst_imagefeatures.moc"
