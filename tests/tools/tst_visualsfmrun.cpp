#include <QtTest>

#include <cmath>
#include <iostream>
#include <sstream>

#include <opencv2/imgcodecs.hpp>

#include "BundlerFile.h"
#include "BundlerRun.h"
#include "FeatureDetection.h"
#include "LoweKeyFile.h"
#include "common/formats/NvmFile.h"
#include "core/formats/NvmReader.h"
#include "NvmToBundler.h"
#include "PairoloRun.h"
#include "core/formats/SparseBundle.h"
#include "ToolTestSupport.h"
#include "VisualSfmRun.h"

// Our bundle adjustment tools on three kermit photos, from features and
// matches made by our detector and matcher, with COLMAP doing the mapping.
class TestVisualSfmRun : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    QStringList m_photos;
    std::string m_list, m_nvm, m_matches;

    std::string folder() const { return ToolTest::backslashes(m_dir.path()) + "\\"; }

    int visualSfm(const std::vector<std::string>& args, std::ostringstream& out, std::ostringstream& err,
                  const std::string& colmap = "colmap")
    {
        VisualSfmRun::Options options;
        options.colmap = colmap;
        return VisualSfmRun::run(args, options, out, err);
    }

    std::vector<FeatureSet> keys() const
    {
        std::vector<FeatureSet> all(size_t(m_photos.size()));
        for (int i = 0; i < m_photos.size(); ++i)
            LoweKeyFile::readFile(LoweKeyFile::pathForImage(m_photos[i].toStdString()), all[size_t(i)]);
        return all;
    }

private slots:
    void initTestCase()
    {
        REQUIRE_SHARED_DATA();
        m_photos = ToolTest::copyKermit(m_dir.path(), {0, 1, 2});
        std::string list, pairs;
        for (int i = 0; i < m_photos.size(); ++i) {
            list += (i ? "\n" : "") + ToolTest::jpgName(m_photos[i]);
            for (int j = i + 1; j < m_photos.size(); ++j)
                pairs += folder() + QFileInfo(m_photos[i]).baseName().toStdString() + ".keyb " + folder() +
                         QFileInfo(m_photos[j]).baseName().toStdString() + ".keyb " + std::to_string(i) +
                         " " + std::to_string(j) + "\n";
        }
        ToolTest::writeText(m_dir.filePath("listfocal.txt"), list);
        ToolTest::writeText(m_dir.filePath("matchList_0.txt"), pairs);
        std::ostringstream out, err;
        QCOMPARE(FeatureDetection::run(m_dir.filePath("listfocal.txt").toStdString(), {}, 2, out, err), 0);
        QCOMPARE(
            PairoloRun::run(folder() + "matchList_0.txt", folder() + "matches.init.txt", {}, 2, out, err), 0);
        m_list = folder() + "listfocal.txt";
        m_nvm = folder() + "sparse.nvm";
        m_matches = folder() + "gpu_matches.init.txt";
    }

    // The NVM loads in the workbench with the photos' own names, and each
    // measurement names the feature of the .key file the viewer marks.
    void sfmImportWritesWhatTheWorkbenchReads()
    {
        std::ostringstream out, err;
        QCOMPARE(visualSfm({"sfm+import", m_list, m_nvm, m_matches}, out, err), 0);
        QVERIFY2(ToolTest::lastLine(out).startsWith("Wrote"), out.str().c_str());
        QVERIFY2(out.str().find("Registered 3 of 3 images") != std::string::npos, out.str().c_str());

        SparseBundle bundle;
        NvmReader::VertexArrays vertices;
        NvmReader::ColourArrays colours;
        std::string imageFolder;
        std::ostringstream quiet;
        auto* old = std::cout.rdbuf(quiet.rdbuf());
        const bool ok = NvmReader::readNvm(m_dir.filePath("sparse.nvm").toStdString(), vertices, colours,
                                           bundle, imageFolder);
        std::cout.rdbuf(old);
        QVERIFY(ok);
        QVERIFY2(vertices[0]->size() > 100, qPrintable(QString::number(vertices[0]->size())));
        const auto features = keys();
        int views = 0;
        for (const auto& camera : bundle.bundleCameras[0]) {
            const int i = m_photos.indexOf(QString::fromStdString(camera->path));
            QVERIFY2(i >= 0, camera->path.c_str());
            QCOMPARE(QString::fromStdString(camera->name), QFileInfo(m_photos[i]).fileName());
            for (const auto& v : camera->views) {
                const auto& k = features[size_t(i)].keypoints.at(size_t(v->featureIndex));
                QVERIFY(std::hypot(v->x + 320 - 0.5 - k.x, v->y + 240 - 0.5 - k.y) < 0.01);
                ++views;
            }
        }
        QVERIFY(views >= 2 * int(vertices[0]->size()));
    }

    // ReRun maps the first run's database again; a new calibration (+k=)
    // rebuilds it from gpu_matches.init.txt with one shared pinhole camera.
    void rerunReusesTheDatabase()
    {
        auto imports = [this] {
            QFile log(m_dir.filePath("sparse_colmap/colmap.log"));
            return log.open(QIODevice::ReadOnly) ? log.readAll().count("colmap feature_importer") : -1;
        };
        const int before = imports();
        QVERIFY(before > 0);
        // The lens an adjustment left for the previous reconstruction goes with it.
        const QString lens = m_dir.filePath("sparse-intrinsics.txt");
        {
            QFile f(lens);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write("# Camera intrinsics v1\n0\n") > 0);
        }
        std::ostringstream out, err;
        QCOMPARE(visualSfm({"sfm", m_list, m_nvm}, out, err), 0);
        QVERIFY2(out.str().find("Reusing the database") != std::string::npos, out.str().c_str());
        QCOMPARE(imports(), before);
        QVERIFY(!QFileInfo::exists(lens));

        std::ostringstream out2, err2;
        QCOMPARE(visualSfm({"sfm+k=660.5,320,660.5,240", m_list, m_nvm}, out2, err2), 0);
        QVERIFY2(out2.str().find("importing") != std::string::npos, out2.str().c_str());
        NvmFile nvm;
        QVERIFY(nvm.readFile(m_dir.filePath("sparse.nvm").toStdString()));
        const auto& cams = nvm.models[0].cameras;
        QCOMPARE(cams.size(), size_t(3));
        // The calibration the photos were undistorted with is kept as given.
        for (const auto& c : cams) {
            QCOMPARE(c.radial, 0.0);
            QVERIFY2(std::abs(c.focal - 660.5) < 1e-6, qPrintable(QString::number(c.focal, 'g', 10)));
        }
    }

    // Photos whose EXIF names one camera, size and focal length share one
    // calibration, refined once for all; without EXIF each has its own.
    void photosOfOneCameraShareOneCalibration()
    {
        QStringList xmls;
        for (const QString& photo : m_photos) {
            xmls << photo.left(photo.size() - 3) + "xml";
            QVERIFY(QFile::copy(SharedData::path("exif/kermit000.xml"), xmls.last()));
        }
        std::ostringstream out, err;
        const int code = visualSfm({"sfm+import", m_list, m_nvm, m_matches}, out, err);
        for (const QString& xml : xmls)
            QFile::remove(xml);
        QCOMPARE(code, 0);
        QVERIFY2(
            out.str().find("Importing the features of 3 image(s), one camera Canon Canon PowerShot A10: ") !=
                std::string::npos,
            out.str().c_str());
        NvmFile nvm;
        QVERIFY(nvm.readFile(m_dir.filePath("sparse.nvm").toStdString()));
        const auto& cams = nvm.models[0].cameras;
        QCOMPARE(cams.size(), size_t(3));
        for (const auto& c : cams) {
            QCOMPARE(c.focal, cams[0].focal);
            QCOMPARE(c.radial, cams[0].radial);
        }
        QVERIFY(std::abs(cams[0].focal / 660.5 - 1) < 0.2);
    }

    void badInputSaysWhy_data()
    {
        QTest::addColumn<QStringList>("args"); // %L list, %N nvm, %M matches, %F folder
        QTest::addColumn<QString>("colmap");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("reason");
        QTest::newRow("unknown command")
            << QStringList{"sfm+fast", "%L", "%N", "%M"} << "colmap" << 2 << "+fast";
        QTest::newRow("three numbers after +k=")
            << QStringList{"sfm+import+k=1,2,3", "%L", "%N", "%M"} << "colmap" << 2 << "four numbers";
        QTest::newRow("matches missing") << QStringList{"sfm+import", "%L", "%N", "%Fnone.txt"} << "colmap"
                                         << 1 << "cannot open match file";
        QTest::newRow("list missing") << QStringList{"sfm+import", "%Fnone.txt", "%N", "%M"} << "colmap" << 1
                                      << "cannot open image list";
        QTest::newRow("COLMAP missing") << QStringList{"sfm+import", "%L", "%Fother.nvm", "%M"}
                                        << "/nonexistent/colmap" << 1 << "COLMAP not found";
    }
    void badInputSaysWhy()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, colmap);
        QFETCH(int, code);
        QFETCH(QString, reason);
        std::vector<std::string> words;
        for (QString a : args)
            words.push_back(a.replace("%L", QString::fromStdString(m_list))
                                .replace("%N", QString::fromStdString(m_nvm))
                                .replace("%M", QString::fromStdString(m_matches))
                                .replace("%F", QString::fromStdString(folder()))
                                .toStdString());
        std::ostringstream out, err;
        QCOMPARE(visualSfm(words, out, err, colmap.toStdString()), code);
        QVERIFY2(ToolTest::lastLine(err).contains(reason), err.str().c_str());
    }

    void photoWithoutFeaturesIsRefused()
    {
        QTemporaryDir dir;
        const QStringList photo = ToolTest::copyKermit(dir.path(), {3});
        ToolTest::writeText(dir.filePath("listfocal.txt"),
                            ToolTest::jpgName(photo[0]) + "\n" + ToolTest::jpgName(m_photos[0]));
        std::ostringstream out, err;
        QCOMPARE(
            visualSfm({"sfm+import", ToolTest::backslashes(dir.filePath("listfocal.txt")), m_nvm, m_matches},
                      out, err),
            1);
        QVERIFY2(ToolTest::lastLine(err).contains("run feature detection first"), err.str().c_str());
    }

    // A photo SiftGPUMax left out (empty feature file) stays in the list,
    // unregistered; the reconstruction needs two photos with features.
    void photoLeftOutStaysUnregistered_data()
    {
        QTest::addColumn<int>("good"); // photos with features in the list
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("said");
        QTest::newRow("blank among good photos") << 3 << 0 << "Registered 3 of 4 images";
        QTest::newRow("one good photo left") << 1 << 1 << "fewer than two photos";
    }
    void photoLeftOutStaysUnregistered()
    {
        QFETCH(int, good);
        QFETCH(int, code);
        QFETCH(QString, said);
        cv::imwrite(m_dir.filePath("blank.jpg").toStdString(), cv::Mat(200, 200, CV_8U, cv::Scalar(128)));
        const std::string blank = ToolTest::jpgName(m_dir.filePath("blank.jpg"));
        ToolTest::writeText(m_dir.filePath("blanklist.txt"), blank + "\n" + ToolTest::jpgName(m_photos[0]));
        std::ostringstream sift, siftErr;
        QCOMPARE(FeatureDetection::run(folder() + "blanklist.txt", {}, 2, sift, siftErr), 0);
        std::string list;
        for (int i = 0; i < good; ++i)
            list += ToolTest::jpgName(m_photos[i]) + "\n";
        ToolTest::writeText(m_dir.filePath("listfocal_blank.txt"), list + blank);
        std::ostringstream out, err;
        QCOMPARE(visualSfm({"sfm+import", folder() + "listfocal_blank.txt", folder() + "blank.nvm", m_matches},
                           out, err),
                 code);
        const QString printed = QString::fromStdString(out.str() + err.str());
        QVERIFY2(printed.contains("blank.jpg left out: no features"), qPrintable(printed));
        QVERIFY2(printed.contains(said), qPrintable(printed));
        if (code == 0)
            QVERIFY2(printed.contains("Not registered: " + m_dir.filePath("blank.jpg")), qPrintable(printed));
    }

    // Bundler's result: every listed photo a camera in list order, every view
    // a feature of its .key file at Bundler's centred, y-up position.
    void bundlerWritesBundleOutInListOrder()
    {
        // A list in another order than the photos', matched in that order.
        const int photoOf[3] = {2, 0, 1};
        std::string list, pairs;
        for (int i = 0; i < 3; ++i) {
            list += ToolTest::jpgName(m_photos[photoOf[i]]) + " 0 4882.14\n";
            for (int j = i + 1; j < 3; ++j)
                pairs += folder() + QFileInfo(m_photos[photoOf[i]]).baseName().toStdString() + ".keyb " +
                         folder() + QFileInfo(m_photos[photoOf[j]]).baseName().toStdString() + ".keyb " +
                         std::to_string(i) + " " + std::to_string(j) + "\n";
        }
        ToolTest::writeText(m_dir.filePath("listfocal_b.txt"), list);
        ToolTest::writeText(m_dir.filePath("matchList_b.txt"), pairs);
        std::ostringstream matched, failed;
        QCOMPARE(PairoloRun::run(folder() + "matchList_b.txt", folder() + "matches_b.init_0.txt", {}, 2,
                                 matched, failed),
                 0);
        // The Bundler script does not join the batches: our Bundler reads them.
        ToolTest::writeText(m_dir.filePath("options.txt"),
                            "--match_table " + folder() +
                                "matches_b.init.txt\n--output bundle.out\n"
                                "--output_all bundle_\n--output_dir " +
                                folder() +
                                "bundle\n--variable_focal_length\n"
                                "--use_focal_estimate\n--constrain_focal\n--constrain_focal_weight 0.0001\n"
                                "--estimate_distortion\n--run_bundle");
        std::ostringstream out, err;
        QCOMPARE(BundlerRun::run({folder() + "listfocal_b.txt", "--options_file", folder() + "options.txt"},
                                 {}, out, err),
                 0);
        BundlerFile bundle;
        std::string error;
        QVERIFY2(bundle.readFile(m_dir.filePath("bundle/bundle.out").toStdString(), &error), error.c_str());
        QCOMPARE(bundle.cameras.size(), size_t(3));
        const auto features = keys();
        for (const auto& p : bundle.points)
            for (const auto& v : p.views) {
                const auto& k = features[size_t(photoOf[v.camera])].keypoints.at(size_t(v.key));
                QVERIFY(std::hypot(v.x + 320 - 0.5 - k.x, 240 - v.y - 0.5 - k.y) < 0.01);
            }
        for (const auto& c : bundle.cameras) {
            QVERIFY(c.registered());
            // The list's 4882 px does not fit a 640 px photo and was left to COLMAP.
            QVERIFY2(c.focal < 1000, qPrintable(QString::number(c.focal)));
        }
        ImageListFile written;
        QVERIFY(written.readFile(m_dir.filePath("bundle/list.txt").toStdString()));
        QVERIFY(QString::fromStdString(written.entries[0].image).endsWith("kermit002.jpg"));
    }

    // Our NVM through the PBA driver for the dense tools: its Bundler cameras
    // project the points onto their measurements.
    void pbaDriverConvertsOurNvm()
    {
        std::ostringstream out, err;
        QCOMPARE(visualSfm({"sfm+import", m_list, m_nvm, m_matches}, out, err), 0);
        QCOMPARE(NvmToBundler::run({m_nvm, "--convert_to_bout"}, out, err), 0);
        BundlerFile bundle;
        QVERIFY(bundle.readFile(m_dir.filePath("sparse-converted.out").toStdString()));
        ImageListFile list;
        QVERIFY(list.readFile(m_dir.filePath("sparse-converted-list.txt").toStdString()));
        QCOMPARE(list.entries.size(), bundle.cameras.size());
        const double m = ToolTest::medianProjectionError(bundle);
        QVERIFY2(m < 1.0, qPrintable(QString::number(m)));
    }
};

QTEST_GUILESS_MAIN(TestVisualSfmRun)
#include "tst_visualsfmrun.moc"
