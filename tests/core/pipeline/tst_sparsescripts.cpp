#include <QtTest>

#include <QTemporaryDir>

#include "core/pipeline/BundlerOptions.h"
#include "core/pipeline/BundlerScript.h"
#include "core/pipeline/FocalList.h"
#include "core/pipeline/MatchPlan.h"
#include "core/pipeline/PairoloScripts.h"
#include "core/pipeline/PbaScript.h"
#include "core/pipeline/PipelineLayout.h"
#include "core/project/ScanSettings.h"
#include "core/pipeline/SiftLists.h"
#include "core/pipeline/UndistortionScript.h"

namespace
{

// Images a.JPG, b.JPG, ... in C:/site; tools under C:/Orvalis.
PipelineLayout siteLayout(const QStringList& names, int processCount = 2, const QString& folder = "C:/site")
{
    PipelineLayout layout("C:/Orvalis", folder + "/" + names.value(0));
    layout.setProcessCount(processCount);
    QStringList paths;
    for (const QString& n : names)
        paths << folder + "/" + n;
    layout.setImages(paths, names);
    return layout;
}

ScanSettings settingsWith(const QString& bundle, const QString& undistort = "None")
{
    ScanSettings s;
    s.bundleAdjustment = bundle;
    s.undistortMethod = undistort;
    return s;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

} // namespace

// The sparse chain's scripts and lists, byte for byte.
class TestSparseScripts : public QObject
{
    Q_OBJECT
private slots:
    void undistortionSkipsUndistortedImages()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir("uncalibrated"));
        QVERIFY(writeFile(dir.filePath("uncalibrated/b.JPG"), "done"));
        const PipelineLayout layout = siteLayout({"a.JPG", "b.JPG"}, 2, dir.path());
        const QString native = PipelineLayout::toNative(dir.path());
        QCOMPARE(UndistortionScript::text(layout, ScanSettings()),
                 ("C:\\Orvalis\\SfM\\Undistort\\undistort.exe " + native +
                  "\\a.JPG 4882.14155 4880.14355 3007.18104 2000.16274 -0.09343 0.09508 -0.00103 0.00097 0\n")
                     .toUtf8());
    }

    void undistortionNeedsCalibration_data()
    {
        QTest::addColumn<QString>("zero");
        QTest::newRow("fx") << "fx";
        QTest::newRow("fy") << "fy";
        QTest::newRow("cx") << "cx";
        QTest::newRow("cy") << "cy";
    }
    void undistortionNeedsCalibration()
    {
        QFETCH(QString, zero);
        ScanSettings s;
        QVERIFY(UndistortionScript::calibrationSet(s));
        (zero == "fx" ? s.fx : zero == "fy" ? s.fy : zero == "cx" ? s.cx : s.cy) = 0;
        QVERIFY(!UndistortionScript::calibrationSet(s));
    }

    void focalList_data()
    {
        QTest::addColumn<QString>("bundle");
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("VisualSfM") << "MPBA"
                                   << QByteArray("C:\\site\\a.JPG\nC:\\site\\b.JPG\nC:\\site\\c.JPG");
        QTest::newRow("Bundler gives the focal length")
            << "Bundler"
            << QByteArray("C:\\site\\a.JPG 0 4882.14\nC:\\site\\b.JPG 0 4882.14\nC:\\site\\c.JPG 0 4882.14");
    }
    void focalList()
    {
        QFETCH(QString, bundle);
        QFETCH(QByteArray, text);
        // A lower-case and a PNG name are listed as JPG as well.
        QCOMPARE(FocalList::text(siteLayout({"a.JPG", "b.jpg", "c.png"}), settingsWith(bundle)), text);
    }

    void featureListsSplitOverTheProcesses()
    {
        QTemporaryDir dir;
        QStringList names;
        for (char c = 'a'; c <= 'h'; ++c)
            names << QString(c) + (c == 'c' ? ".png" : ".JPG");
        const PipelineLayout layout = siteLayout(names, 2, dir.path());
        // One of eight already has its feature file: seven remain, 3 + 4.
        QVERIFY(writeFile(dir.filePath("h.keyb"), "keys"));
        const QStringList missing = SiftLists::missingFeatures(layout);
        QCOMPARE(missing.size(), 7);
        SiftLists::writeLists(layout, missing);
        const QString f = PipelineLayout::toNative(dir.path()) + "\\";
        QCOMPARE(readFile(dir.filePath("sfmlist_0.txt")),
                 (f + "a.JPG\n" + f + "b.JPG\n" + f + "c.JPG").toUtf8());
        QCOMPARE(readFile(dir.filePath("sfmlist_1.txt")),
                 (f + "d.JPG\n" + f + "e.JPG\n" + f + "f.JPG\n" + f + "g.JPG").toUtf8());

        SiftLists::writeLists(layout, {});
        QCOMPARE(readFile(dir.filePath("sfmlist_0.txt")), QByteArray());
        QCOMPARE(readFile(dir.filePath("sfmlist_1.txt")), QByteArray());
    }

    void siftGpuScript()
    {
        QCOMPARE(SiftLists::scriptText(siteLayout({"a.JPG"}, 3)),
                 QByteArray("C:\\Orvalis\\SfM\\FeatureDetectors\\SiftGPUMax.exe C:/site/sfmlist_0.txt\n"
                            "C:\\Orvalis\\SfM\\FeatureDetectors\\SiftGPUMax.exe C:/site/sfmlist_1.txt\n"
                            "C:\\Orvalis\\SfM\\FeatureDetectors\\SiftGPUMax.exe C:/site/sfmlist_2.txt\n"));
    }

    void everyPairOnce()
    {
        QTemporaryDir dir;
        const PipelineLayout layout = siteLayout({"a.JPG", "b.JPG", "c.JPG"}, 2, dir.path());
        const MatchPlan plan = MatchPlan::choose(layout);
        QVERIFY(!plan.incremental());
        const QString f = PipelineLayout::toNative(dir.path()) + "\\";
        const QString a = f + "a.keyb", b = f + "b.keyb", c = f + "c.keyb";
        QCOMPARE(plan.pairs(),
                 (QStringList{a + " " + b + " 0 1", a + " " + c + " 0 2", b + " " + c + " 1 2"}));
        plan.writeLists(layout);
        QCOMPARE(readFile(dir.filePath("matchList_0.txt")), (a + " " + b + " 0 1").toUtf8());
        QCOMPARE(readFile(dir.filePath("matchList_1.txt")),
                 (a + " " + c + " 0 2\n" + b + " " + c + " 1 2").toUtf8());
    }

    void newImagesMatchTheEarlierOnes_data()
    {
        QTest::addColumn<QString>("focal");
        QTest::newRow("VisualSfM's list") << "";
        QTest::newRow("Bundler's list, with the focal length") << " 0 4882.14";
    }
    void newImagesMatchTheEarlierOnes()
    {
        QFETCH(QString, focal);
        QTemporaryDir dir;
        const QString f = PipelineLayout::toNative(dir.path()) + "\\";
        QVERIFY(writeFile(dir.filePath("matchList_0.txt"), "old"));
        QVERIFY(writeFile(dir.filePath("listfocal_old.txt"),
                          (f + "a.JPG" + focal + "\n" + f + "b.JPG" + focal).toUtf8()));
        const MatchPlan plan =
            MatchPlan::choose(siteLayout({"a.JPG", "b.JPG", "c.JPG", "d.JPG"}, 2, dir.path()));
        QVERIFY(plan.incremental());
        const QString a = f + "a.keyb", b = f + "b.keyb", c = f + "c.keyb", d = f + "d.keyb";
        QCOMPARE(plan.pairs(), (QStringList{c + " " + a + " 2 0", c + " " + b + " 2 1", d + " " + a + " 3 0",
                                            d + " " + b + " 3 1", d + " " + c + " 3 2"}));
        // Nothing new: every pair again.
        QVERIFY(writeFile(dir.filePath("listfocal_old.txt"),
                          (f + "a.JPG\n" + f + "b.JPG\n" + f + "c.JPG\n" + f + "d.JPG\n").toUtf8()));
        QCOMPARE(
            MatchPlan::choose(siteLayout({"a.JPG", "b.JPG", "c.JPG", "d.JPG"}, 2, dir.path())).pairs().size(),
            6);
    }

    void matcherScripts()
    {
        QTemporaryDir dir;
        const PipelineLayout layout = siteLayout({"a.JPG"}, 2, dir.path());
        const QString f = PipelineLayout::toNative(dir.path()) + "\\";
        QCOMPARE(PairoloScripts::matchFile(layout, 1), f + "matches.init_1.txt");
        QCOMPARE(PairoloScripts::gpuMatchFile(layout, 1), f + "gpu_matches.init_1.txt");
        const QString call = "C:\\Orvalis\\SfM\\ImageMatching\\Pairolo.exe " + f + "matchList_1.txt " + f +
                             "matches.init_1.txt";
        QCOMPARE(PairoloScripts::text(layout, 1),
                 ("if exist " + f + "matches.init_1.txt rm " + f + "matches.init_1.txt\n" + "if exist " + f +
                  "gpu_matches.init_1.txt rm " + f + "gpu_matches.init_1.txt\n" + call)
                     .toUtf8());
        // With the GPU table of an earlier run the tables are kept.
        QVERIFY(writeFile(dir.filePath("gpu_matches.init_1.txt"), "m"));
        QCOMPARE(PairoloScripts::text(layout, 1), call.toUtf8());
    }

    void bundlerFiles()
    {
        const PipelineLayout layout = siteLayout({"a.JPG"});
        QCOMPARE(
            BundlerOptions::text(layout),
            QByteArray("--match_table C:\\site\\matches.init.txt\n--output bundle.out\n--output_all bundle_\n"
                       "--output_dir C:\\site\\bundle\n--variable_focal_length\n--use_focal_estimate\n"
                       "--constrain_focal\n--constrain_focal_weight 0.0001\n--estimate_distortion\n"
                       "--run_bundle"));
        QCOMPARE(
            BundlerScript::text(layout),
            QByteArray("mkdir C:\\site\\bundle\\\n"
                       "C:\\Orvalis\\SfM\\BundleAdjustment\\Bundler\\Bundler.exe C:\\site\\listfocal.txt "
                       "--options_file C:\\site\\options.txt"));
    }

    void visualSfmScripts_data()
    {
        QTest::addColumn<QString>("undistort");
        QTest::addColumn<QByteArray>("calibration");
        QTest::newRow("distorted images") << "None" << QByteArray();
        QTest::newRow("undistorted images carry the calibration")
            << "OpenCV" << QByteArray("+k=4882.14155,3007.18104,4880.14355,2000.16274");
    }
    void visualSfmScripts()
    {
        QFETCH(QString, undistort);
        QFETCH(QByteArray, calibration);
        const PipelineLayout layout = siteLayout({"a.JPG"});
        const ScanSettings s = settingsWith("MPBA", undistort);
        QCOMPARE(
            PbaScript::text(layout, s, {"C:\\site\\matches.init_0.txt", "C:\\site\\matches.init_1.txt"},
                            {"C:\\site\\gpu_matches.init_0.txt", "C:\\site\\gpu_matches.init_1.txt"}),
            "if exist C:\\site\\matches.init.txt rm C:\\site\\matches.init.txt\n"
            "type C:\\site\\matches.init_0.txt C:\\site\\matches.init_1.txt > C:\\site\\matches.init.txt\n"
            "if exist C:\\site\\gpu_matches.init.txt rm C:\\site\\gpu_matches.init.txt\n"
            "type C:\\site\\gpu_matches.init_0.txt C:\\site\\gpu_matches.init_1.txt > "
            "C:\\site\\gpu_matches.init.txt\n"
            "cmd /c C:\\Orvalis\\SfM\\BundleAdjustment\\PBA\\VisualSfM.exe sfm+import" +
                calibration + " C:\\site\\listfocal.txt C:\\site\\sparse.nvm C:\\site\\gpu_matches.init.txt");
        QCOMPARE(PbaScript::rerunText(layout, s),
                 "cmd /c C:\\Orvalis\\SfM\\BundleAdjustment\\PBA\\VisualSfM.exe sfm" + calibration +
                     " C:\\site\\listfocal.txt C:\\site\\sparse.nvm ");
    }
};

QTEST_GUILESS_MAIN(TestSparseScripts)
#include "tst_sparsescripts.moc"
