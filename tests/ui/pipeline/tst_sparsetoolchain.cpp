#include <QtTest>

#include <QAction>
#include <QImage>
#include <QMainWindow>
#include <QStatusBar>

#include <cmath>

#include "BundlerFile.h"
#include "KeybFile.h"
#include "ui/layers/LayerTree.h"
#include "scene/layers/PointCloudLoader.h"
#include "ui/main/MainWindow.h"
#include "ui/images/MyListWidget.h"
#include "scene/view/OsgWidget.h"
#include "ui/pipeline/ReconstructionRunner.h"
#include "core/project/ScanSettings.h"
#include "LogLines.h"
#include "SharedData.h"
#include "SimilarityAlignment.h"
#include "core/formats/SparseBundle.h"
#include "core/images/MatchSets.h"

// "&Run Sparse", "&ReRun BundleAdjustment" and "&Run Dense" of the survey
// edition on the eleven kermit photos and a blank frame, with the build's own tool chain
// (SiftGPUMax, Pairolo, VisualSfM, driver_x64 in its SfM tree) run by the
// scripts the pipeline writes, and the result opened through "Add Data". The
// photos lie in a folder with a blank, as "Grabung Süd 2": the scripts quote
// its paths and the tools' files carry them.
class TestSparseToolChain : public QObject
{
    Q_OBJECT

    QTemporaryDir m_site{QDir::tempPath() + "/Grabung Sued 2 XXXXXX"};
    QMainWindow m_window;
    LogLines m_log;
    MyListWidget* m_images = nullptr;
    ReconstructionRunner::Actions m_actions;
    ReconstructionRunner* m_runner = nullptr;
    QProcess m_exif;

    QString logText() const { return m_log.joined(); }

    // Waits for the run to end and says whether it reached "done".
    bool runEnds()
    {
        const bool ended = QTest::qWaitFor([this] { return !m_runner->isRunning(); }, 600000);
        if (!ended || !m_log.status().contains("is done"))
            qWarning().noquote() << logText();
        return ended;
    }

private slots:
    void initTestCase()
    {
        REQUIRE_SHARED_DATA();
        Q_INIT_RESOURCE(images);
        ScanSettings::global() = ScanSettings();
        m_images = new MyListWidget(&m_window);
        for (auto* a : {&m_actions.runSparse, &m_actions.reRun, &m_actions.runDense, &m_actions.scanSettings,
                        &m_actions.abort})
            *a = new QAction(&m_window);
        m_runner = new ReconstructionRunner(&m_window, m_images, ORVALIS_APP_DIR, m_actions);
        // The EXIF XML beside each photo, as the window's extraction writes it.
        QFile bat(m_site.filePath("exifExtract.bat"));
        QVERIFY(bat.open(QIODevice::WriteOnly));
        const QString tool =
            QString(ORVALIS_APP_DIR).replace('/', '\\') + "\\SfM\\Undistort\\exiftool.exe -X ";
        for (int i = 0; i < 11; ++i) {
            const QString name = QStringLiteral("kermit%1.jpg").arg(i, 3, 10, QLatin1Char('0'));
            const QString photo = m_site.filePath(name);
            QVERIFY(QFile::copy(SharedData::path("images/kermit/" + name), photo));
            QFile::setPermissions(photo, QFile::ReadOwner | QFile::WriteOwner);
            m_images->addImage(photo, name);
            QString native = photo;
            native.replace('/', '\\');
            bat.write(((i ? "\n" : "") + tool + '"' + native + "\" > \"" + native.left(native.size() - 4) +
                       ".xml\"")
                          .toUtf8());
        }
        // A blank frame among them (lens cap): left out, the others go on.
        QImage blank(320, 240, QImage::Format_RGB32);
        blank.fill(QColor(128, 128, 128));
        QVERIFY(blank.save(m_site.filePath("blank.jpg"), "JPG"));
        m_images->addImage(m_site.filePath("blank.jpg"), "blank.jpg");
        const QString blankNative = QString(m_site.filePath("blank")).replace('/', '\\');
        bat.write(("\n" + tool + '"' + blankNative + ".jpg\" > \"" + blankNative + ".xml\"").toUtf8());
        bat.close();
        m_runner->setExifExtraction([this] {
            m_exif.start(ORVALIS_APP_DIR "/orvcmd", {"/c", m_site.filePath("exifExtract.bat")});
            m_exif.waitForStarted();
            return &m_exif;
        });
    }

    void runSparseReconstructsThePhotos()
    {
        QSignalSpy result(m_runner, &ReconstructionRunner::sparseNVMFinished);
        m_runner->runSparse();
        QVERIFY(runEnds());
        QCOMPARE(m_log.status(), QString("Sparse Reconstruction is done!"));
        QCOMPARE(result.count(), 1);
        QVERIFY(QFile::exists(m_site.filePath("kermit004.xml")));
        QVERIFY(QFile::exists(m_site.filePath("kermit004.key")));
        // The blank frame was left out with an empty feature file, and the run went on.
        FeatureSet blank;
        QVERIFY(KeybFile::readFile(m_site.filePath("blank.keyb").toStdString(), blank));
        QCOMPARE(blank.size(), size_t(0));
        // The image viewer's match overlay reads the matcher's records there.
        MatchSets matches;
        QString error;
        QVERIFY2(matches.readFile(MatchSets::pathFor(m_site.filePath("kermit004.jpg")), &error),
                 qPrintable(error));
        QVERIFY(matches.indexOf("kermit004.jpg") >= 0);
    }

    // "Add Data" on sparse.nvm: a Bundle layer with at least nine of the
    // eleven cameras, named after the photos, placed where Bundler placed
    // them up to a similarity about as closely as two Bundler runs agree.
    void resultLoadsAndAgreesWithBundler()
    {
        MainWindow w(MainWindow::Edition::Orvalis);
        w.addDataFiles({m_site.filePath("sparse.nvm")});
        const auto& bundles = w.sceneView()->sparseBundles();
        QCOMPARE(int(bundles.size()), 1);
        const auto& cameras = bundles[0]->bundleCameras.at(0);
        QVERIFY2(cameras.size() >= 9, qPrintable(QString::number(cameras.size())));

        BundlerFile reference, other;
        QVERIFY(reference.readFile(SharedData::path("bundler/kermit_bundler_example.out").toStdString()));
        QVERIFY(other.readFile(SharedData::path("bundler/kermit_runsfm_bundle.out").toStdString()));
        std::vector<SimilarityAlignment::Point> ours, theirs;
        for (const auto& c : cameras) {
            const QString name = QString::fromStdString(c->name);
            QVERIFY2(QRegularExpression("^kermit0\\d\\d\\.jpg$").match(name).hasMatch(), qPrintable(name));
            const auto& r = reference.cameras.at(size_t(name.mid(6, 3).toInt()));
            if (!r.registered())
                continue;
            ours.push_back({c->centre.x(), c->centre.y(), c->centre.z()});
            theirs.push_back(r.centre());
        }
        QVERIFY(ours.size() >= 8);
        std::vector<SimilarityAlignment::Point> second, first;
        for (size_t i = 0; i < reference.cameras.size(); ++i)
            if (reference.cameras[i].registered() && other.cameras.at(i).registered()) {
                second.push_back(other.cameras[i].centre());
                first.push_back(reference.cameras[i].centre());
            }
        const double ourDistance = SimilarityAlignment::relativeMisfit(ours, theirs),
                     bundlerDistance = SimilarityAlignment::relativeMisfit(second, first);
        qInfo("%d cameras, %zu shared with Bundler: centres %.2f%% of their spread apart (two Bundler runs: "
              "%.2f%%)",
              int(cameras.size()), ours.size(), 100 * ourDistance, 100 * bundlerDistance);
        QVERIFY(bundlerDistance > 0);
        QVERIFY(ourDistance < 1.5 * bundlerDistance);
    }

    void reRunMapsAgain()
    {
        const QDateTime first = QFileInfo(m_site.filePath("sparse.nvm")).lastModified();
        QTest::qWait(1100); // file times have whole seconds on some systems
        m_runner->reRun();
        QVERIFY(runEnds());
        QCOMPARE(m_log.status(), QString("Sparse Reconstruction is done!"));
        QVERIFY(QFileInfo(m_site.filePath("sparse.nvm")).lastModified() > first);
    }

    // "&Run Dense" after the sparse run: the dense tools take the converted
    // sparse result and leave pmvs/models/option-0000.patch, which "Add Data"
    // opens as a point cloud layer.
    void runDenseDensifiesTheSparseResult()
    {
        ScanSettings::global().denseReconstruction = "PMVS";
        m_runner->runDense();
        QVERIFY(!logText().contains("Run Sparse should be triggered first"));
        QVERIFY(runEnds());
        QCOMPARE(m_log.status(), QString("Dense Reconstruction is done!"));
        BundlerFile converted;
        QVERIFY(converted.readFile(m_site.filePath("sparse-converted.out").toStdString()));
        QVERIFY(converted.cameras.size() >= 9);

        const QString patch = m_site.filePath("pmvs/models/option-0000.patch");
        QVERIFY2(QFile::exists(patch), qPrintable(logText()));
        MainWindow w(MainWindow::Edition::Orvalis);
        w.addDataFiles({patch});
        QCOMPARE(w.layers()->lists(LayerType::PointCloud).names, QStringList{"option-0000.patch"});
        osg::ref_ptr<osg::Vec3Array> vertices;
        osg::ref_ptr<osg::Vec4Array> colours;
        QVERIFY(PointCloudLoader::extractArrays(w.sceneView()->pointClouds().front()->asGroup(), vertices,
                                                colours));
        // Denser than the sparse cloud it grew from.
        QVERIFY2(vertices->size() > 2 * converted.points.size(), qPrintable(QString::number(vertices->size())));
    }

    // A folder of one photo: the run ends, failed, saying why, and leaves no
    // reconstruction behind.
    void folderOfOnePhotoEndsSayingWhy()
    {
        QTemporaryDir single;
        const QString photo = single.filePath("kermit004.jpg");
        QVERIFY(QFile::copy(SharedData::path("images/kermit/kermit004.jpg"), photo));
        m_images->clear();
        m_images->addImage(photo, "kermit004.jpg");
        m_runner->setExifExtraction([] { return nullptr; });
        m_log.clear();
        m_runner->runSparse();
        QVERIFY(QTest::qWaitFor([this] { return !m_runner->isRunning(); }, 300000));
        const QString last = m_log.last();
        QVERIFY2(last.startsWith("Bundle adjustment failed") && last.contains("names fewer than two images"),
                 qPrintable(logText()));
        QVERIFY(!QFile::exists(single.filePath("sparse.nvm")));
    }
};

QTEST_MAIN(TestSparseToolChain)
#include "tst_sparsetoolchain.moc"
