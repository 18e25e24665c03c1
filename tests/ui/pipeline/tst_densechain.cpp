#include <QtTest>

#include <QAction>

#include <osg/BoundingBox>

#include "BundlerFile.h"
#include "ui/layers/LayerTree.h"
#include "ui/main/MainWindow.h"
#include "scene/view/OsgWidget.h"
#include "scene/layers/PointCloudLoader.h"
#include "core/project/ScanSettings.h"
#include "ui/pipeline/SfMReconstruction.h"
#include "LogLines.h"
#include "SharedData.h"

// "&Run Dense" through the pipeline with the build's own dense tools, on
// what a Bundler run over the kermit photographs leaves (listfocal.txt and
// bundle/bundle.out beside the photographs): the prepare script, the
// matcher, and the result loaded through "Add Data".
class TestDenseChain : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { Q_INIT_RESOURCE(images); }

    void runDenseOnBundlersKermit_data()
    {
        QTest::addColumn<QString>("dense");
        QTest::addColumn<QString>("cloud");
        QTest::newRow("PMVS") << "PMVS"
                              << "pmvs/models/option-0000.patch";
        QTest::newRow("CMPMVS") << "CMPMVS"
                                << "cmpmvs/models/mvs.ply";
    }
    void runDenseOnBundlersKermit()
    {
        REQUIRE_SHARED_DATA();
        QFETCH(QString, dense);
        QFETCH(QString, cloud);
        QTemporaryDir site;
        QStringList paths, names;
        QByteArray focalList;
        for (int i = 0; i < 11; ++i) {
            const QString name = QString("kermit%1.jpg").arg(i, 3, 10, QChar('0'));
            QVERIFY(QFile::copy(SharedData::path("images/kermit/" + name), site.filePath(name)));
            paths << site.filePath(name);
            names << name;
            // As the sparse run writes it: the "JPG name", backslashes, Bundler's focal.
            QString jpgName = site.filePath(name);
            jpgName.chop(3);
            focalList += QString(jpgName + "JPG").replace('/', '\\').toUtf8() + " 0 660.80306\n";
        }
        focalList.chop(1);
        QFile list(site.filePath("listfocal.txt"));
        QVERIFY(list.open(QIODevice::WriteOnly));
        list.write(focalList);
        list.close();
        QVERIFY(QDir(site.path()).mkpath("bundle"));
        QVERIFY(QFile::copy(SharedData::path("bundler/kermit_bundler_example.out"),
                            site.filePath("bundle/bundle.out")));

        ScanSettings::global() = ScanSettings();
        ScanSettings::global().bundleAdjustment = "Bundler";
        ScanSettings::global().denseReconstruction = dense;
        LogLines log;
        QAction runSparse("&Run Sparse", nullptr), runDense("&Run Dense", nullptr),
            scanSettings("&Scan Settings", nullptr), abort("&Abort current reconstruction", nullptr);
        auto* pipeline = new SfMReconstruction(this, QStringLiteral(ORVALIS_APP_DIR), &runSparse, &runDense,
                                               &scanSettings, &abort);
        pipeline->setPipelineFolder(paths.first());
        pipeline->setImages(paths, names);
        QSignalSpy ended(pipeline, &SfMReconstruction::runEnded);
        QSignalSpy patches(pipeline, &SfMReconstruction::densepmvsFinished);
        QVERIFY(pipeline->startDense());
        QVERIFY(ended.wait(600000));
        const QStringList lines = log.texts();
        QVERIFY2(ended.first().first().toBool(), qPrintable(lines.join(" | ")));
        QCOMPARE(lines.last(), QString("Dense Reconstruction is done!"));
        if (dense == "PMVS")
            QCOMPARE(patches.first().first().toStringList(), QStringList{site.filePath(cloud)});

        MainWindow w;
        w.addDataFiles({site.filePath(cloud)});
        QCOMPARE(w.layers()->lists(LayerType::PointCloud).names, QStringList{QFileInfo(cloud).fileName()});
        osg::ref_ptr<osg::Vec3Array> vertices;
        osg::ref_ptr<osg::Vec4Array> colours;
        QVERIFY(PointCloudLoader::extractArrays(w.sceneView()->pointClouds().front()->asGroup(), vertices,
                                                colours));
        QVERIFY2(vertices->size() > 10000, qPrintable(QString::number(vertices->size())));
        delete pipeline;

        // The sparse points that three or more cameras saw lie on the dense
        // surface: most have a dense point within 1% of the cloud's extent.
        BundlerFile bundle;
        QVERIFY(bundle.readFile(site.filePath("bundle/bundle.out").toStdString()));
        osg::BoundingBox box;
        for (const auto& p : *vertices)
            box.expandBy(p);
        const float near = 0.02f * box.radius();
        int seen = 0, close = 0;
        for (const auto& p : bundle.points) {
            if (p.views.size() < 3)
                continue;
            const osg::Vec3 sparse(float(p.position[0]), float(p.position[1]), float(p.position[2]));
            ++seen;
            close += std::any_of(vertices->begin(), vertices->end(),
                                 [&](const osg::Vec3& q) { return (q - sparse).length2() < near * near; });
        }
        QVERIFY2(close >= 0.8 * seen, qPrintable(QString("%1 of %2").arg(close).arg(seen)));
    }
};

QTEST_MAIN(TestDenseChain)
#include "tst_densechain.moc"
