#include <QtTest>

#include <algorithm>
#include <cmath>
#include <fstream>

#include <opencv2/imgcodecs.hpp>

#include "BundleUndistorter.h"
#include "DensePreparer.h"
#include "DenseSource.h"
#include "MvsCamera.h"
#include "NvmBundleImport.h"
#include "SharedData.h"

// The preparation of the dense folders on reconstructions written by the
// real tools: Bundler's kermit run (with the folder Bundler's own
// RadialUndistort made of it) and VisualSfM's castle.
class TestDensePreparation : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    // The RunSFM kermit list with its Android paths replaced by ours.
    std::string kermitList()
    {
        const std::string list = m_dir.filePath("kermit_list.txt").toStdString();
        std::ofstream out(list);
        for (int i = 0; i < 11; ++i)
            out << SharedData::path(QString("images/kermit/kermit%1.jpg").arg(i, 3, 10, QChar('0')))
                       .toStdString()
                << " 0 660.80306\n";
        return list;
    }

    // The kermit photos measure 640 x 480.
    static std::vector<CameraIntrinsics::Camera> lenses(const DenseSource& source)
    {
        std::vector<CameraIntrinsics::Camera> out(source.bundle.cameras.size());
        for (size_t i = 0; i < out.size(); ++i)
            source.lens(int(i), 640, 480, out[i], nullptr);
        return out;
    }

    static double percentile(std::vector<double> v, double share)
    {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0 : v[size_t(share * double(v.size() - 1))];
    }

private slots:
    // Bundler's RadialUndistort dropped the unplaced camera and renumbered
    // the views; ours does the same. (Bundler leaves the observations where
    // the distorted images had them; ours moves them with the pixels.)
    void undistortedBundleNumbersViewsAsBundlersOwn()
    {
        REQUIRE_SHARED_DATA();
        DenseSource source;
        std::string error;
        QVERIFY2(source.read(kermitList(), SharedData::path("bundler/kermit_runsfm_bundle.out").toStdString(),
                             &error),
                 error.c_str());
        QCOMPARE(int(source.registered.size()), 10);
        const BundlerFile ours = BundleUndistorter::undistortBundle(source.bundle, source.registered, lenses(source));
        BundlerFile theirs;
        QVERIFY(theirs.readFile(SharedData::path("bundler/kermit_runsfm_pmvs_bundle.rd.out").toStdString()));
        QCOMPARE(ours.cameras.size(), theirs.cameras.size());
        QCOMPARE(ours.points.size(), theirs.points.size());
        for (size_t c = 0; c < ours.cameras.size(); ++c) {
            QCOMPARE(ours.cameras[c].k1, 0.0);
            QVERIFY(std::abs(ours.cameras[c].focal - theirs.cameras[c].focal) < 1e-3);
            for (size_t k = 0; k < 9; ++k)
                QVERIFY(std::abs(ours.cameras[c].rotation[k] - theirs.cameras[c].rotation[k]) < 1e-5);
        }
        for (size_t p = 0; p < ours.points.size(); ++p) {
            QCOMPARE(ours.points[p].views.size(), theirs.points[p].views.size());
            for (size_t v = 0; v < ours.points[p].views.size(); ++v)
                QCOMPARE(ours.points[p].views[v].camera, theirs.points[p].views[v].camera);
        }
    }

    // The camera files of the PMVS folder put the points where the
    // undistorted images show them.
    void cameraFilesProjectOntoTheUndistortedObservations()
    {
        REQUIRE_SHARED_DATA();
        DenseSource source;
        std::string error;
        const std::string list = kermitList();
        const std::string bundle = SharedData::path("bundler/kermit_runsfm_bundle.out").toStdString();
        QVERIFY(source.read(list, bundle, &error));
        const DenseLayout layout = DenseLayout::pmvs(m_dir.filePath("pmvs").replace('/', '\\').toStdString());
        QVERIFY2(DensePreparer::prepare(source, layout, list, bundle, &error), error.c_str());
        for (const char* helper : {"prep_pmvs.sh", "pmvs_options.txt", "pmvs.bat", "list.rd.txt"})
            QVERIFY2(QFile::exists(m_dir.filePath(QString("pmvs/") + helper)), helper);
        QVERIFY(!QFile::exists(m_dir.filePath("pmvs/txt/00000010.txt")));

        const BundlerFile rd = BundleUndistorter::undistortBundle(source.bundle, source.registered, lenses(source));
        std::vector<MvsCamera> cameras(10);
        for (int v = 0; v < 10; ++v)
            QVERIFY2(cameras[size_t(v)].readContourFile(layout.cameraFile(v), &error), error.c_str());
        std::vector<double> residuals;
        for (const auto& p : rd.points)
            for (const auto& view : p.views) {
                double u, v, d;
                QVERIFY(cameras[size_t(view.camera)].project(p.position, u, v, d));
                residuals.push_back(std::hypot(u - (view.x + 319.5), v - (239.5 - view.y)));
            }
        QVERIFY2(percentile(residuals, 0.5) < 1.0, qPrintable(QString::number(percentile(residuals, 0.5))));
        QVERIFY2(percentile(residuals, 0.95) < 3.0, qPrintable(QString::number(percentile(residuals, 0.95))));
    }

    // A run after a photo dropped out prepares fewer views than the run
    // before: the earlier run's views, images, clusters and models go, or
    // the matcher finds one view more than the bundle has cameras.
    void viewsOfAnEarlierRunWithMorePhotosAreCleared()
    {
        REQUIRE_SHARED_DATA();
        DenseSource source;
        std::string error;
        const std::string list = kermitList();
        const std::string bundle = SharedData::path("bundler/kermit_runsfm_bundle.out").toStdString();
        QVERIFY(source.read(list, bundle, &error));
        QTemporaryDir folder;
        const QStringList earlier = {"pmvs/txt/00000010.txt",
                                     "pmvs/visualize/00000010.jpg",
                                     "pmvs/models/option-0000.ply",
                                     "pmvs/models/option-0000.patch",
                                     "pmvs/option-0001",
                                     "pmvs/vis.dat",
                                     "pmvs/centers-0000.ply"};
        for (const QString& name : earlier) {
            QDir().mkpath(QFileInfo(folder.filePath(name)).path());
            QFile f(folder.filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        QFile mine(folder.filePath("pmvs/notes.txt"));
        QVERIFY(mine.open(QIODevice::WriteOnly));
        mine.close();
        const DenseLayout layout = DenseLayout::pmvs(folder.filePath("pmvs").toStdString());
        QVERIFY2(DensePreparer::prepare(source, layout, list, bundle, &error), error.c_str());
        for (const QString& name : earlier)
            QVERIFY2(!QFile::exists(folder.filePath(name)), qPrintable(name));
        QVERIFY(QFile::exists(folder.filePath("pmvs/txt/00000009.txt")));
        QVERIFY(QFile::exists(folder.filePath("pmvs/notes.txt")));
    }

    // VisualSfM's castle as a Bundler file: with its distortion fitted, the
    // cameras project every point onto the measurements.
    void castleNvmBecomesABundle()
    {
        REQUIRE_SHARED_DATA();
        NvmBundleImport nvm;
        std::string error;
        // This file measures from the images' top-left corners.
        const auto imageSize = [](const std::string& name, int& w, int& h) {
            const QString file = SharedData::path("images/sceaux_castle/") +
                                 QFileInfo(QString::fromStdString(name)).fileName();
            const cv::Mat image = cv::imread(file.toStdString(), cv::IMREAD_GRAYSCALE);
            w = image.cols;
            h = image.rows;
            return !image.empty();
        };
        QVERIFY2(
            nvm.readFile(SharedData::path("nvm/sceaux_castle_vsfm.nvm").toStdString(), &error, imageSize),
            error.c_str());
        QCOMPARE(int(nvm.bundle.cameras.size()), 11);
        QCOMPARE(int(nvm.bundle.points.size()), 7817);
        QCOMPARE(nvm.images.front(), std::string("images/100_7103.JPG"));
        std::vector<double> residuals;
        for (const auto& p : nvm.bundle.points)
            for (const auto& v : p.views) {
                double x, y;
                QVERIFY(nvm.bundle.cameras[size_t(v.camera)].project(p.position, x, y));
                residuals.push_back(std::hypot(x - v.x, y - v.y));
            }
        QVERIFY2(percentile(residuals, 0.5) < 1.0, qPrintable(QString::number(percentile(residuals, 0.5))));
        QVERIFY2(percentile(residuals, 0.95) < 4.0, qPrintable(QString::number(percentile(residuals, 0.95))));
    }

    // The adjusted lens beside an NVM gives the imported cameras their k1,
    // k2 exactly; a damaged one is left with a note, the NVM's term stands.
    void nvmImportTakesTheAdjustedLens()
    {
        QTemporaryDir dir;
        const std::string nvmPath = dir.filePath("sparse.nvm").toStdString();
        std::ofstream(nvmPath)
            << "NVM_V3\n\n2\na.jpg 50 1 0 0 0 0 0 -10 0.01 0\nb.jpg 50 1 0 0 0 1 0 -10 0.01 0\n"
               "1\n0.5 0.2 0 200 100 50 2 0 0 2.5 1 1 1 -2.5 1\n\n0\n";
        CameraIntrinsics lens;
        for (const char* name : {"b.jpg", "a.jpg"}) { // matched by name, not order
            CameraIntrinsics::Camera c;
            c.width = 60;
            c.height = 40;
            c.fx = c.fy = 50.125;
            c.cx = 29.7;
            c.cy = 19.2;
            c.k1 = name[0] == 'a' ? -0.1 : -0.2;
            c.k2 = 0.05;
            c.image = name;
            lens.cameras.push_back(c);
        }
        const std::string lensPath = dir.filePath("sparse-intrinsics.txt").toStdString();
        QVERIFY(lens.writeFile(lensPath));
        NvmBundleImport nvm;
        std::string error;
        QVERIFY2(nvm.readFile(nvmPath, &error), error.c_str());
        QVERIFY2(nvm.lensNote == "camera intrinsics from " + lensPath, nvm.lensNote.c_str());
        QCOMPARE(nvm.intrinsics.cameras.size(), size_t(2));
        QCOMPARE(nvm.bundle.cameras[0].k1, -0.1);
        QCOMPARE(nvm.bundle.cameras[1].k1, -0.2);
        QCOMPARE(nvm.intrinsics.cameras[0].cx, 29.7);

        std::ofstream(lensPath) << "# Camera intrinsics v1\n2\n60 40 50 50 29.5 19.5 x 0 a.jpg\n";
        QVERIFY2(nvm.readFile(nvmPath, &error), error.c_str());
        QVERIFY2(nvm.lensNote == lensPath + ": line 3: \"x\" is not a finite number (the lens is not used)",
                 nvm.lensNote.c_str());
        QVERIFY(nvm.intrinsics.cameras.empty());
        QVERIFY(nvm.bundle.cameras[0].k1 < 0 && nvm.bundle.cameras[0].k1 != -0.1);
    }

    void sourceRefusesWhatCannotBePrepared_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QString>("reason");
        const QString kermit = SharedData::path("images/kermit/kermit%1.jpg");
        QString shortList, missing;
        for (int i = 0; i < 11; ++i) {
            const QString image = kermit.arg(i, 3, 10, QChar('0'));
            if (i < 3)
                shortList += image + "\n";
            missing += (i == 4 ? m_dir.filePath("gone.jpg") : image) + "\n";
        }
        QTest::newRow("list shorter than the bundle") << shortList << "names 3 images but";
        QTest::newRow("image of a placed camera missing") << missing << "gone.jpg";
    }
    void sourceRefusesWhatCannotBePrepared()
    {
        REQUIRE_SHARED_DATA();
        QFETCH(QString, list);
        QFETCH(QString, reason);
        const std::string path = m_dir.filePath("refused.txt").toStdString();
        std::ofstream(path) << list.toStdString();
        DenseSource source;
        std::string error;
        QVERIFY(
            !source.read(path, SharedData::path("bundler/kermit_runsfm_bundle.out").toStdString(), &error));
        QVERIFY2(QString::fromStdString(error).contains(reason), error.c_str());
    }
};

QTEST_GUILESS_MAIN(TestDensePreparation)
#include "tst_densepreparation.moc"
