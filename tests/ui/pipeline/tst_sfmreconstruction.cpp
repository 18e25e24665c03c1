#include <QtTest>

#include <QAction>
#include <QElapsedTimer>

#include "LogLines.h"
#include "SfmToolDoubles.h"
#include "core/georef/AccuracyReport.h"
#include "core/images/ExifExtraction.h"
#include "core/platform/ScriptProcess.h"
#include "core/project/ScanSettings.h"
#include "ui/pipeline/SfMReconstruction.h"

using Tool = ExternalTools::Tool;
Q_DECLARE_METATYPE(Tool)

namespace
{

QStringList texts(const LogLines& log)
{
    return log.texts();
}

// expected appear in the log in this order (other lines between them).
bool inOrder(const QStringList& log, const QStringList& expected)
{
    int at = 0;
    for (const QString& line : log)
        if (at < expected.size() && line == expected[at])
            ++at;
    return at == expected.size();
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(content) == content.size();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void configure(const QString& bundle, const QString& dense, const QString& undistort = QStringLiteral("None"))
{
    ScanSettings& s = ScanSettings::global();
    s.bundleAdjustment = bundle;
    s.denseReconstruction = dense;
    s.undistortMethod = undistort;
}

} // namespace

// The tool chain run end to end with stand-in tools: stages in order,
// failures that stop it, Abort in every stage.
class TestSfMReconstruction : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        ScanSettings::global() = ScanSettings();
        m_tools.reset(new SfmToolDoubles);
        m_site.reset(new QTemporaryDir);
        for (const char* name : {"a.JPG", "b.JPG", "c.JPG"})
            QVERIFY(writeFile(m_site->filePath(name), "jpeg"));
        m_log.clear();
        m_runSparse.setEnabled(true);
        m_runDense.setEnabled(true);
        m_scanSettings.setEnabled(true);
        m_abort.setEnabled(false);
    }
    void cleanup()
    {
        qDeleteAll(findChildren<SfMReconstruction*>());
        m_tools.reset();
    }

    void wholeChain_data()
    {
        QTest::addColumn<QString>("bundle");
        QTest::addColumn<QString>("dense");
        QTest::addColumn<QString>("undistort");
        QTest::addColumn<bool>("displayOutput");
        QTest::newRow("VisualSfM, PMVS, undistorted, output shown") << "MPBA"
                                                                    << "PMVS"
                                                                    << "OpenCV" << true;
        QTest::newRow("Bundler, SURE takes the CMPMVS path") << "Bundler"
                                                             << "SURE"
                                                             << "None" << false;
    }
    void wholeChain()
    {
        QFETCH(QString, bundle);
        QFETCH(QString, dense);
        QFETCH(QString, undistort);
        QFETCH(bool, displayOutput);
        configure(bundle, dense, undistort);
        ScanSettings::global().displayOutput = displayOutput;
        const bool visualSfm = bundle == "MPBA";

        SfMReconstruction* sparse = pipeline();
        QSignalSpy nvm(sparse, &SfMReconstruction::sparseNVMFinished);
        QVERIFY(runToEnd(sparse, [&] { sparse->startSparse(); }));
        QStringList expected;
        if (undistort == "OpenCV")
            expected << "Undistortion bat file created "
                     << "Undistortion bat file executed";
        expected << "listfocal text file created"
                 << "Total Sift Files: 3"
                 << "Estimated time per file: 3.5"
                 << "Time to Complete: 0:0:10.5"
                 << "siftlist text file created"
                 << (undistort == "OpenCV" ? "SIFTGPU bat file created" : "SIFTGPU bat file created ")
                 << "Ended at: " + sparse->stageRecord().endTime + " " + sparse->stageRecord().endDate
                 << "SiftGpu bat file executed"
                 << "Matching All"
                 << "RunPairolo bat file created"
                 << "RunPairolo bat file executed"
                 << "options text file created" << bundle + " bat file created"
                 << bundle + " bat file executed"
                 << "Sparse Reconstruction is done!";
        QVERIFY2(inOrder(texts(m_log), expected), qPrintable(texts(m_log).join(" | ")));
        QCOMPARE(nvm.count(), visualSfm ? 1 : 0);
        if (visualSfm)
            QCOMPARE(nvm.first().first().value<QFile*>()->fileName(), m_site->filePath("sparse.nvm"));
        else
            QVERIFY(QFile::exists(m_site->filePath("bundle/bundle.out")));
        checkActionsBack();
        // The time each stage took, once per stage, for the accuracy report.
        QStringList stages;
        for (const AccuracyReport::Stage& stage : AccuracyReport::readStages(m_site->path())) {
            stages << stage.name;
            QVERIFY(stage.seconds >= 0 && stage.seconds < 600);
        }
        QStringList timed = {"Feature detection", "Matching", "Bundle adjustment"};
        if (undistort == "OpenCV")
            timed.prepend("Undistortion");
        QCOMPARE(stages, timed);
        // The matched images, for the next run to tell the new ones.
        QCOMPARE(readFile(m_site->filePath("listfocal_old.txt")),
                 readFile(m_site->filePath("listfocal.txt")));
        // The extra matcher processes go with the run that started them.
        QTRY_COMPARE(sparse->findChildren<ScriptProcess*>().size(), 0);

        // Again: every feature file is there now, and no image is new.
        m_log.clear();
        SfMReconstruction* again = pipeline();
        QVERIFY(runToEnd(again, [&] { again->startSparse(); }));
        QVERIFY2(inOrder(texts(m_log), {"Total Sift Files: 0", "Time to Complete: 0:0:0", "Time per item n/a",
                                        "Matching All", "Sparse Reconstruction is done!"}),
                 qPrintable(texts(m_log).join(" | ")));
        QCOMPARE(readFile(m_site->filePath("sfmlist_0.txt")), QByteArray());
        QCOMPARE(readFile(m_site->filePath("sfmlist_1.txt")), QByteArray());

        m_log.clear();
        SfMReconstruction* densify = pipeline();
        QSignalSpy patches(densify, &SfMReconstruction::densepmvsFinished);
        QVERIFY(runToEnd(densify, [&] { QVERIFY(densify->startDense()); }));
        const QStringList log = texts(m_log);
        QCOMPARE(log.first(), "prepare_" + dense + " bat file created ");
        QCOMPARE(log.last(), QString("Dense Reconstruction is done!"));
        if (dense == "PMVS") {
            QVERIFY(log.contains("pmvs_all bat file executed"));
            QCOMPARE(patches.count(), 1);
            QStringList files = patches.first().first().toStringList();
            files.sort();
            QCOMPARE(files, (QStringList{m_site->filePath("pmvs/models/option-0000.patch"),
                                         m_site->filePath("pmvs/models/option-0001.patch")}));
        } else {
            QVERIFY(log.contains("mvs.ini file created"));
            QVERIFY(log.contains("runCMPMVS bat file executed"));
            QVERIFY(QFile::exists(m_site->filePath("cmpmvs/models/mvs.ply")));
            QCOMPARE(patches.count(), 0);
        }
        // With Display Output the prepare script's own lines reach the log.
        const bool shown = std::any_of(log.begin(), log.end(),
                                       [](const QString& l) { return l.contains("Setting up Directories"); });
        QCOMPARE(shown, displayOutput);
        checkActionsBack();
    }

    void failingStage_data()
    {
        QTest::addColumn<Tool>("tool");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("settings"); // bundle adjustment / dense / undistort
        QTest::addColumn<bool>("dense");
        QTest::addColumn<QString>("message"); // how the last log line begins
        // An empty body removes the tool.
        QTest::newRow("undistorter exits non-zero")
            << Tool::Undistorter << QByteArray("echo 'cannot read' >&2; exit 2") << "MPBA/PMVS/OpenCV"
            << false << "Undistortion failed (exit code 2): cannot read";
        QTest::newRow("feature detector exits non-zero")
            << Tool::SiftGpu << QByteArray("echo 'no GPU found' >&2; echo 'giving up'; exit 3")
            << "MPBA/PMVS/None" << false << "Feature detection failed (exit code 3): no GPU found";
        QTest::newRow("feature files missing") << Tool::SiftGpu << QByteArray("exit 0") << "MPBA/PMVS/None"
                                               << false << "Feature detection failed (exit code 0): missing ";
        QTest::newRow("one matcher batch fails")
            << Tool::Pairolo
            << QByteArray("case \"$1\" in *matchList_0.txt) exit 4;; esac\n") +
                   SfmToolDoubles::defaults().value(Tool::Pairolo)
            << "MPBA/PMVS/None" << false << "Matching (batch 0) failed (exit code 4)";
        QTest::newRow("match tables missing") << Tool::Pairolo << QByteArray("exit 0") << "MPBA/PMVS/None"
                                              << false << "Matching failed (exit code 0): missing ";
        QTest::newRow("no sparse.nvm") << Tool::VisualSfM << QByteArray("exit 0") << "MPBA/PMVS/None" << false
                                       << "Bundle adjustment failed (exit code 0): missing ";
        QTest::newRow("Bundler fails") << Tool::Bundler << QByteArray("exit 1") << "Bundler/PMVS/None"
                                       << false << "Bundle adjustment failed (exit code 1)";
        QTest::newRow("prepare leaves no pmvs_all.bat")
            << Tool::GenOption << QByteArray("exit 0") << "MPBA/PMVS/None" << true
            << "Dense preparation failed (exit code 0): missing ";
        QTest::newRow("PMVS writes no patch file")
            << Tool::GenOption << QByteArray("printf 'ECHO m > %smodels/x.ply' \"$1\" > \"$1pmvs_all.bat\"")
            << "MPBA/PMVS/None" << true << "Dense failed (exit code 0): missing ";
        QTest::newRow("CMPMVS fails") << Tool::Cmpmvs << QByteArray("exit 5") << "Bundler/CMPMVS/None" << true
                                      << "Dense failed (exit code 5)";
        // The prepare script ends with an ECHO whatever its tools did.
        QTest::newRow("CMPMVS prepare tool fails")
            << Tool::Bundle2CmpmvsUpper
            << QByteArray("echo 'Bundle2CMPMVS: cannot read image a.JPG' >&2; exit 2")
            << "Bundler/CMPMVS/None" << true
            << "Dense preparation failed (exit code 2): Bundle2CMPMVS: cannot read image a.JPG";
        QTest::newRow("CMPMVS prepare leaves no images")
            << Tool::RadialUndistortCmp << QByteArray("exit 0") << "MPBA/CMPMVS/None" << true
            << "Dense preparation failed (exit code 0): missing ";
        QTest::newRow("CMPMVS writes no cloud") << Tool::Cmpmvs << QByteArray("exit 0") << "MPBA/SURE/None"
                                                << true << "Dense failed (exit code 0): missing ";
        QTest::newRow("prepare tool missing") << Tool::Bundle2Pmvs << QByteArray() << "Bundler/PMVS/None"
                                              << true << "Dense preparation failed (exit code 127): '";
    }
    void failingStage()
    {
        QFETCH(Tool, tool);
        QFETCH(QByteArray, body);
        QFETCH(QString, settings);
        QFETCH(bool, dense);
        QFETCH(QString, message);
        const QStringList s = settings.split('/');
        configure(s[0], s[1], s[2]);
        if (body.isEmpty())
            QVERIFY(QFile::remove(ExternalTools::path(tool, m_tools->appDir())));
        else
            m_tools->install(tool, body);
        if (dense)
            sparseResult();

        SfMReconstruction* p = pipeline();
        QVERIFY(!runToEnd(p, [&] { dense ? void(p->startDense()) : p->startSparse(); }));
        const QStringList log = texts(m_log);
        QVERIFY2(log.last().startsWith(message), qPrintable(log.last()));
        if (body.isEmpty()) // the interpreter's message, whole
            QVERIFY2(log.last().endsWith("is not recognized as an internal or external command, "
                                         "operable program or batch file."),
                     qPrintable(log.last()));
        QVERIFY(!log.contains("Sparse Reconstruction is done!"));
        QVERIFY(!log.contains("Dense Reconstruction is done!"));
        checkActionsBack();
        QTRY_VERIFY(p->runningProcesses().isEmpty());
    }

    void abortDuringEachStage_data()
    {
        QTest::addColumn<Tool>("tool");
        QTest::addColumn<QString>("settings");
        QTest::addColumn<bool>("dense");
        QTest::addColumn<int>("processCount");
        QTest::addColumn<int>("hanging");
        QTest::addColumn<QString>("notReached"); // a file of the stage after
        QTest::newRow("undistortion")
            << Tool::Undistorter << "MPBA/PMVS/OpenCV" << false << 2 << 1 << "SIFTGPU.bat";
        QTest::newRow("feature detection")
            << Tool::SiftGpu << "MPBA/PMVS/None" << false << 2 << 1 << "matchList_0.txt";
        QTest::newRow("matching, three batches")
            << Tool::Pairolo << "MPBA/PMVS/None" << false << 3 << 3 << "options.txt";
        QTest::newRow("bundle adjustment")
            << Tool::VisualSfM << "MPBA/PMVS/None" << false << 2 << 1 << "sparse.nvm";
        QTest::newRow("dense preparation")
            << Tool::Cmvs << "MPBA/PMVS/None" << true << 2 << 1 << "pmvs/pmvs_all.bat";
        QTest::newRow("dense matching")
            << Tool::Cmpmvs << "MPBA/CMPMVS/None" << true << 2 << 1 << "cmpmvs/models/mvs.ply";
    }
    void abortDuringEachStage()
    {
        QFETCH(Tool, tool);
        QFETCH(QString, settings);
        QFETCH(bool, dense);
        QFETCH(int, processCount);
        QFETCH(int, hanging);
        QFETCH(QString, notReached);
        const QStringList s = settings.split('/');
        configure(s[0], s[1], s[2]);
        // The bundle adjustment stand-in begins its result before it hangs.
        m_tools->install(tool, m_tools->hang(tool == Tool::VisualSfM ? SfmToolDoubles::defaults().value(tool)
                                                                     : QByteArray()));
        if (dense)
            sparseResult();

        SfMReconstruction* p = pipeline(processCount);
        QSignalSpy ended(p, &SfMReconstruction::runEnded);
        if (dense)
            QVERIFY(p->startDense());
        else
            p->startSparse();
        QTRY_COMPARE_WITH_TIMEOUT(m_tools->hangingPids().size(), hanging, 15000);
        QVERIFY(m_abort.isEnabled());
        m_abort.trigger();

        QCOMPARE(ended.count(), 1);
        QCOMPARE(ended.first().first().toBool(), false);
        QCOMPARE(texts(m_log).last(), QString("Current process is stopped"));
        checkActionsBack();
        for (qint64 pid : m_tools->hangingPids())
            QTRY_VERIFY_WITH_TIMEOUT(SfmToolDoubles::gone(pid), 5000);
        // The killed stage's end does not start the next one.
        const int lines = m_log.count();
        QTest::qWait(300);
        QCOMPARE(m_log.count(), lines);
        QVERIFY(!QFile::exists(m_site->filePath(notReached)));
    }

    // The window closing in the middle of a run takes the run's tools along.
    void closingDuringARunEndsItsTools()
    {
        m_tools->install(Tool::Pairolo, m_tools->hang());
        SfMReconstruction* p = pipeline();
        p->startSparse();
        QTRY_COMPARE_WITH_TIMEOUT(m_tools->hangingPids().size(), 2, 15000);
        const int lines = m_log.count();
        delete p;
        QCOMPARE(m_log.count(), lines);
        for (qint64 pid : m_tools->hangingPids())
            QTRY_VERIFY_WITH_TIMEOUT(SfmToolDoubles::gone(pid), 5000);
    }

    void abortKeepsResultOfEarlierRun()
    {
        configure("MPBA", "PMVS");
        const QString nvm = m_site->filePath("sparse.nvm");
        QVERIFY(writeFile(nvm, "earlier"));
        {
            QFile f(nvm);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                  QFileDevice::FileModificationTime));
        }
        m_tools->install(Tool::VisualSfM, m_tools->hang());
        SfMReconstruction* p = pipeline();
        p->disableRunActions();
        p->reRunBundler();
        QTRY_COMPARE_WITH_TIMEOUT(m_tools->hangingPids().size(), 1, 15000);
        m_abort.trigger();
        QCOMPARE(readFile(nvm), QByteArray("earlier"));
    }

    void matchingWaitsForTheLastBatch_data()
    {
        QTest::addColumn<int>("slowBatch");
        QTest::newRow("an extra batch ends last") << 0;
        QTest::newRow("the run's own batch ends last") << 2;
    }
    void matchingWaitsForTheLastBatch()
    {
        QFETCH(int, slowBatch);
        m_tools->install(Tool::Pairolo, QByteArray("case \"$1\" in *matchList_") +
                                            QByteArray::number(slowBatch) + ".txt) sleep 1.2;; esac\n" +
                                            SfmToolDoubles::defaults().value(Tool::Pairolo));
        SfMReconstruction* p = pipeline(3);
        // The window keeps running while the batches match.
        QElapsedTimer clock;
        qint64 last = 0, longestGap = 0;
        QTimer tick;
        connect(&tick, &QTimer::timeout, [&] {
            longestGap = std::max(longestGap, clock.elapsed() - last);
            last = clock.elapsed();
        });
        clock.start();
        tick.start(20);
        QVERIFY(runToEnd(p, [&] { p->startSparse(); }));
        QVERIFY2(longestGap < 600, qPrintable(QString::number(longestGap)));
        QVERIFY(texts(m_log).contains("RunPairolo bat file executed"));
        QCOMPARE(readFile(m_site->filePath(QString("matches.init_%1.txt").arg(slowBatch))),
                 readFile(m_site->filePath(QString("matchList_%1.txt").arg(slowBatch))));
    }

    void undistortionNeedsCalibration()
    {
        configure("MPBA", "PMVS", "OpenCV");
        ScanSettings::global().fx = 0;
        SfMReconstruction* p = pipeline();
        QVERIFY(!runToEnd(p, [&] { p->startSparse(); }));
        QCOMPARE(
            texts(m_log),
            (QStringList{"Please make sure to set non zero values to fx,fy,cx and cy in Scan settings window",
                         "Undistortion bat file creation failed "}));
        QVERIFY(!QFile::exists(m_site->filePath("undistortion.bat")));
        checkActionsBack();
    }

    void interpreterMissing()
    {
        QVERIFY(QFile::remove(m_tools->appDir() + "/orvcmd"));
        SfMReconstruction* p = pipeline();
        QVERIFY(!runToEnd(p, [&] { p->startSparse(); }));
        QVERIFY2(texts(m_log).last().startsWith("Feature detection failed (could not start"),
                 qPrintable(texts(m_log).last()));
        checkActionsBack();
    }

    void denseNeedsSparseResult_data()
    {
        QTest::addColumn<QString>("bundle");
        QTest::addColumn<QStringList>("present");
        QTest::newRow("VisualSfM without sparse.nvm")
            << "MPBA" << QStringList{"listfocal.txt", "bundle/bundle.out"};
        QTest::newRow("Bundler without bundle.out")
            << "Bundler" << QStringList{"listfocal.txt", "sparse.nvm"};
    }
    void denseNeedsSparseResult()
    {
        QFETCH(QString, bundle);
        QFETCH(QStringList, present);
        configure(bundle, "PMVS");
        QDir(m_site->path()).mkpath("bundle");
        for (const QString& f : present)
            QVERIFY(writeFile(m_site->filePath(f), "x"));
        SfMReconstruction* p = pipeline();
        QVERIFY(!p->startDense());
        QCOMPARE(texts(m_log), QStringList{"Run Sparse should be triggered first"});
        QVERIFY(!p->isRunning());
        QVERIFY(m_runSparse.isEnabled());
        QVERIFY(!m_abort.isEnabled());
    }

    void reRun_data()
    {
        QTest::addColumn<QString>("bundle");
        QTest::addColumn<bool>("runs");
        QTest::newRow("VisualSfM") << "MPBA" << true;
        QTest::newRow("Bundler has no rerun script") << "Bundler" << false;
    }
    void reRun()
    {
        QFETCH(QString, bundle);
        QFETCH(bool, runs);
        configure(bundle, "PMVS");
        SfMReconstruction* p = pipeline();
        QSignalSpy nvm(p, &SfMReconstruction::sparseNVMFinished);
        p->disableRunActions();
        QCOMPARE(runToEnd(p, [&] { p->reRunBundler(); }), runs);
        QCOMPARE(texts(m_log).first(), bundle + (runs ? " bat file created" : " bat file creation failed"));
        QCOMPARE(nvm.count(), runs ? 1 : 0);
        QCOMPARE(QFile::exists(m_site->filePath("listfocal.txt")), runs);
        checkActionsBack();
    }

    void addedPhotosCountAsNewOnlyOnce_data()
    {
        QTest::addColumn<QString>("bundle");
        QTest::addColumn<bool>("addedRunFails");
        QTest::newRow("VisualSfM") << "MPBA" << false;
        QTest::newRow("Bundler, whose list lines carry the focal length") << "Bundler" << false;
        QTest::newRow("the run that adds the photo fails in matching") << "MPBA" << true;
    }
    void addedPhotosCountAsNewOnlyOnce()
    {
        QFETCH(QString, bundle);
        QFETCH(bool, addedRunFails);
        configure(bundle, "PMVS");
        SfMReconstruction* first = pipeline(2, {"a.JPG", "b.JPG"});
        QVERIFY(runToEnd(first, [&] { first->startSparse(); }));

        // c.JPG is added: only its pairs are matched.
        m_log.clear();
        if (addedRunFails)
            m_tools->install(Tool::Pairolo, "exit 4");
        SfMReconstruction* added = pipeline();
        QCOMPARE(runToEnd(added, [&] { added->startSparse(); }), !addedRunFails);
        QVERIFY2(texts(m_log).contains("Matching From GPS"), qPrintable(texts(m_log).join(" | ")));
        QCOMPARE(readFile(m_site->filePath("matchList_0.txt")).split('\n').size(), 1);
        QCOMPARE(readFile(m_site->filePath("matchList_1.txt")).split('\n').size(), 1);
        m_tools->restore(Tool::Pairolo);

        // Once matched, it is new no more; unmatched, it still is.
        m_log.clear();
        SfMReconstruction* later = pipeline();
        QVERIFY(runToEnd(later, [&] { later->startSparse(); }));
        QVERIFY2(texts(m_log).contains(addedRunFails ? "Matching From GPS" : "Matching All"),
                 qPrintable(texts(m_log).join(" | ")));
    }

    // A table joined by an earlier VisualSfM run numbers the images of its own list.
    void bundlerReadsThisRunsMatchTable()
    {
        configure("Bundler", "PMVS");
        QVERIFY(writeFile(m_site->filePath("matches.init.txt"), "0 5\n1\n7 7\n"));
        SfMReconstruction* p = pipeline();
        QVERIFY(runToEnd(p, [&] { p->startSparse(); }));
        QCOMPARE(readFile(m_site->filePath("matches.init.txt")),
                 readFile(m_site->filePath("matches.init_0.txt")) +
                     readFile(m_site->filePath("matches.init_1.txt")));
    }

    // The run waits for the extraction however long it takes, counting the
    // XML files as they come, and Abort stops it.
    void runWaitsForExifExtractionUntilAbort()
    {
        m_tools->install(Tool::ExifTool, m_tools->hang());
        ScriptProcess exifProcess;
        ExifExtraction exif(&exifProcess);
        exif.setApplicationFolder(m_tools->appDir());
        // As the window does: the extraction's outcome goes to the log.
        connect(&exif, &ExifExtraction::finished, this, [&] {
            for (const QString& line : exif.report())
                LogSink::write(LogLevel::Info, line);
        });
        QVERIFY(
            exif.start({m_site->filePath("a.JPG"), m_site->filePath("b.JPG"), m_site->filePath("c.JPG")}));
        SfMReconstruction* p = pipeline();
        QSignalSpy progress(p, &SfMReconstruction::progress);
        p->startSparse(&exifProcess);
        QCOMPARE(progress.last().first().toString(), QString("Extracting EXIF 0/3"));
        QTRY_COMPARE_WITH_TIMEOUT(m_tools->hangingPids().size(), 1, 15000);
        QVERIFY(writeFile(m_site->filePath("b.xml"), "<rdf:RDF></rdf:RDF>"));
        QTRY_COMPARE_WITH_TIMEOUT(progress.last().first().toString(), QString("Extracting EXIF 1/3"), 5000);
        QVERIFY(p->isRunning());
        QVERIFY(!QFile::exists(m_site->filePath("SIFTGPU.bat")));
        m_abort.trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!exif.isRunning(), 5000);
        for (qint64 pid : m_tools->hangingPids())
            QTRY_VERIFY_WITH_TIMEOUT(SfmToolDoubles::gone(pid), 5000);
        QVERIFY(!QFile::exists(m_site->filePath("SIFTGPU.bat")));
        QVERIFY(!texts(m_log).contains(ExifExtraction::successLine()));
        QCOMPARE(texts(m_log).last(), QString("Exif extraction stopped: 2 of 3 photos have no Exif data"));
    }

private:
    SfMReconstruction* pipeline(int processCount = 2, const QStringList& images = {"a.JPG", "b.JPG", "c.JPG"})
    {
        auto* p = new SfMReconstruction(this, m_tools->appDir(), &m_runSparse, &m_runDense, &m_scanSettings,
                                        &m_abort);
        p->setPipelineFolder(m_site->filePath(images.first()));
        p->layout().setProcessCount(processCount);
        p->layout().setLogicalProcessors(4);
        QStringList paths, names;
        for (const QString& name : images) {
            paths << m_site->filePath(name);
            names << name;
        }
        p->setImages(paths, names);
        return p;
    }

    // Starts a run and waits for its end; its success.
    bool runToEnd(SfMReconstruction* p, const std::function<void()>& start)
    {
        QSignalSpy ended(p, &SfMReconstruction::runEnded);
        start();
        if (ended.isEmpty() && !ended.wait(20000))
            return false;
        return ended.first().first().toBool();
    }

    // What a finished sparse run leaves, for dense runs.
    void sparseResult()
    {
        QDir(m_site->path()).mkpath("bundle");
        for (const char* f : {"sparse.nvm", "listfocal.txt", "bundle/bundle.out"})
            QVERIFY(writeFile(m_site->filePath(f), "x"));
    }

    void checkActionsBack()
    {
        QVERIFY(m_runSparse.isEnabled());
        QVERIFY(m_runDense.isEnabled());
        QVERIFY(m_scanSettings.isEnabled());
        QVERIFY(!m_abort.isEnabled());
    }

    QScopedPointer<SfmToolDoubles> m_tools;
    QScopedPointer<QTemporaryDir> m_site;
    LogLines m_log;
    QAction m_runSparse{"&Run Sparse", nullptr};
    QAction m_runDense{"&Run Dense", nullptr};
    QAction m_scanSettings{"&Scan Settings", nullptr};
    QAction m_abort{"&Abort current reconstruction", nullptr};
};

QTEST_MAIN(TestSfMReconstruction)
#include "tst_sfmreconstruction.moc"
