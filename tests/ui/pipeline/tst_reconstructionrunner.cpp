#include <QtTest>

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QStatusBar>

#include "ui/images/MyListWidget.h"
#include "ui/pipeline/ReconstructionRunner.h"
#include "core/project/ScanSettings.h"
#include "LogLines.h"
#include "SfmToolDoubles.h"

using Tool = ExternalTools::Tool;

// The window side of a run: images from the list, the EXIF extraction waited
// for, stage and busy indicator in the status bar, the actions.
class TestReconstructionRunner : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        ScanSettings::global() = ScanSettings();
        m_tools.reset(new SfmToolDoubles);
        m_site.reset(new QTemporaryDir);
        m_window.reset(new QMainWindow);
        m_log.reset(new LogLines);
        m_images = new MyListWidget(m_window.data());
        for (auto* a : {&m_actions.runSparse, &m_actions.reRun, &m_actions.runDense, &m_actions.scanSettings,
                        &m_actions.abort})
            *a = new QAction(m_window.data());
        m_actions.abort->setEnabled(false);
        m_runner = new ReconstructionRunner(m_window.data(), m_images, m_tools->appDir(), m_actions);
        m_saved = 0;
        m_runner->setSaveSettings([this] { ++m_saved; });
    }
    void cleanup()
    {
        m_window.reset();
        m_tools.reset();
    }

    void emptyListDoesNothing()
    {
        bool extracted = false;
        m_runner->setExifExtraction([&] {
            extracted = true;
            return nullptr;
        });
        m_runner->runSparse();
        m_runner->reRun();
        m_runner->runDense();
        QVERIFY(!m_runner->current());
        QCOMPARE(m_log->count(), 0);
        QVERIFY(!extracted);
        QCOMPARE(m_saved, 0);
        QVERIFY(m_actions.runSparse->isEnabled());
    }

    void sparseRunWaitsForExifAndShowsItsStage()
    {
        addImages();
        m_tools->install(Tool::SiftGpu, m_tools->hang());
        QProcess exif;
        m_runner->setExifExtraction([&] {
            exif.start("sleep", {"0.5"});
            exif.waitForStarted();
            return &exif;
        });
        m_runner->runSparse();
        QCOMPARE(m_saved, 1);
        QVERIFY(m_runner->isRunning());
        QCOMPARE(m_runner->stageLabel()->text(), QString("Extracting EXIF 0/3"));
        QVERIFY(m_runner->progressBar()->isVisible());
        QVERIFY(!m_actions.runSparse->isEnabled());
        QVERIFY(!m_actions.reRun->isEnabled());
        QVERIFY(m_actions.abort->isEnabled());
        // The first stage waits for the extraction, and the window runs meanwhile.
        QVERIFY(!QFile::exists(m_site->filePath("SIFTGPU.bat")));
        QTRY_VERIFY_WITH_TIMEOUT(
            m_runner->stageLabel()->text().startsWith("Feature detection 0/3, estimated end "), 10000);
        QCOMPARE(exif.state(), QProcess::NotRunning);
        QVERIFY(QFile::exists(m_site->filePath("SIFTGPU.bat")));

        QTRY_COMPARE_WITH_TIMEOUT(m_tools->hangingPids().size(), 1, 10000);
        m_actions.abort->trigger();
        QVERIFY(!m_runner->isRunning());
        QVERIFY(!m_runner->stageLabel()->isVisible());
        QVERIFY(!m_runner->progressBar()->isVisible());
        QVERIFY(m_actions.reRun->isEnabled());
        QVERIFY(m_actions.runSparse->isEnabled());
        QCOMPARE(m_log->status(), QString("Current process is stopped"));
        QTRY_VERIFY(SfmToolDoubles::gone(m_tools->hangingPids().first()));
    }

    // The undistorter runs once per photo and keeps the photo as it was:
    // those it has kept are the count.
    void undistortionCountsItsPhotos()
    {
        addImages();
        ScanSettings::global().undistortMethod = "OpenCV";
        m_tools->install(Tool::Undistorter, "f=$(printf '%s' \"$1\" | tr '\\\\' '/')\n"
                                            "mkdir -p \"$(dirname \"$f\")/uncalibrated\"\n"
                                            "cp \"$f\" \"$(dirname \"$f\")/uncalibrated/\"\nsleep 1.2");
        m_tools->install(Tool::SiftGpu, m_tools->hang());
        m_runner->runSparse();
        QTRY_VERIFY_WITH_TIMEOUT(m_runner->stageLabel()->text().startsWith("Undistortion: 1 of 3 photos"),
                                 10000);
        QVERIFY2(m_runner->stageLabel()->text().contains(", estimated end "),
                 qPrintable(m_runner->stageLabel()->text()));
        QCOMPARE(m_runner->progressBar()->value(), 33);
        QTRY_VERIFY_WITH_TIMEOUT(m_runner->stageLabel()->text().startsWith("Feature detection"), 10000);
        QVERIFY(QFile::exists(m_site->filePath("uncalibrated/c.JPG")));
        QTRY_COMPARE_WITH_TIMEOUT(m_tools->hangingPids().size(), 1, 10000);
        m_actions.abort->trigger();
        QTRY_VERIFY(SfmToolDoubles::gone(m_tools->hangingPids().first()));
    }

    void abortWhileWaitingForExif()
    {
        addImages();
        QProcess exif;
        m_runner->setExifExtraction([&] {
            exif.start("sleep", {"30"});
            exif.waitForStarted();
            return &exif;
        });
        m_runner->runSparse();
        m_actions.abort->trigger();
        QVERIFY(!m_runner->isRunning());
        QTRY_COMPARE(exif.state(), QProcess::NotRunning);
        QTest::qWait(200);
        QVERIFY(!QFile::exists(m_site->filePath("SIFTGPU.bat")));
    }

    void finishedRunHandsOverItsResult()
    {
        addImages();
        QSignalSpy nvm(m_runner, &ReconstructionRunner::sparseNVMFinished);
        m_runner->runSparse();
        QTRY_VERIFY_WITH_TIMEOUT(!m_runner->isRunning(), 20000);
        QCOMPARE(nvm.count(), 1);
        QCOMPARE(m_log->status(), QString("Sparse Reconstruction is done!"));
        QVERIFY(!m_runner->progressBar()->isVisible());

        QSignalSpy patches(m_runner, &ReconstructionRunner::densepmvsFinished);
        m_runner->runDense();
        QVERIFY(!m_actions.reRun->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!m_runner->isRunning(), 20000);
        QCOMPARE(patches.count(), 1);
        QVERIFY(m_actions.reRun->isEnabled());
    }

    // Abort reaches "&Orthophoto and DSM" as it reaches the other runs: the
    // tool is asked to stop, and the status bar says nothing was written.
    void abortStopsTheOrthophoto()
    {
        addImages();
        m_tools->install(Tool::OrthoDsm, "echo $$ >> '" + m_tools->pidFile().toUtf8() +
                                             "'\ntrap 'echo \"OrthoDsm: stopped\" >&2; exit 1' TERM\n"
                                             "sleep 60 &\nwait $!");
        m_runner->runOrthoDsm();
        QTRY_COMPARE_WITH_TIMEOUT(m_tools->hangingPids().size(), 1, 10000);
        QVERIFY(m_actions.abort->isEnabled());
        QVERIFY(!m_actions.runSparse->isEnabled());
        m_actions.abort->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(m_log->status(),
                                  QString("Orthophoto and DSM stopped: nothing was written"), 15000);
        QTRY_VERIFY(SfmToolDoubles::gone(m_tools->hangingPids().first()));
        QVERIFY(!m_actions.abort->isEnabled());
        QVERIFY(m_actions.runSparse->isEnabled());
    }

    // A photo gone from its folder since it was listed: left out of the
    // run, named in the log, and its row marked.
    void aPhotoGoneFromTheFolderIsLeftOutAndNamed()
    {
        addImages();
        QVERIFY(QFile::remove(m_site->filePath("b.JPG")));
        m_tools->install(Tool::SiftGpu, m_tools->hang());
        m_runner->runSparse();
        QVERIFY(m_runner->isRunning());
        QVERIFY2(logText().contains("Photo " + m_site->filePath("b.JPG") + " is missing: left out"),
                 qPrintable(logText()));
        QCOMPARE(m_runner->current()->layout().imagePaths(),
                 QStringList({m_site->filePath("a.JPG"), m_site->filePath("c.JPG")}));
        QCOMPARE(m_images->item(1)->foreground().color(), QColor(Qt::red));
        QVERIFY(m_images->item(0)->toolTip().isEmpty());
        m_actions.abort->trigger();
    }

    void denseWithoutSparseResultKeepsTheActions()
    {
        addImages();
        m_runner->runDense();
        QCOMPARE(m_log->last(), QString("Run Sparse should be triggered first"));
        // Said where the user looks, not only in the log.
        QCOMPARE(m_log->status(), QString("Run Sparse should be triggered first"));
        QVERIFY(m_actions.reRun->isEnabled());
        QVERIFY(m_actions.runDense->isEnabled());
        QVERIFY(!m_actions.abort->isEnabled());
    }

    // Also two photos of one name: the scripts and tools know a photo by its
    // name, and one of them would be processed twice.
    void photosFromTwoFoldersAreRefused_data()
    {
        QTest::addColumn<bool>("dense");
        QTest::addColumn<QString>("name"); // of the photo in the other folder
        QTest::newRow("Run Sparse") << false << "d.JPG";
        QTest::newRow("Run Dense") << true << "d.JPG";
        QTest::newRow("Run Sparse, one name in two folders") << false << "b.JPG";
        QTest::newRow("Run Dense, one name in two folders") << true << "b.JPG";
    }
    void photosFromTwoFoldersAreRefused()
    {
        QFETCH(bool, dense);
        QFETCH(QString, name);
        addImages();
        QTemporaryDir other;
        QFile f(other.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        m_images->addImage(other.filePath(name), name);
        bool extracted = false;
        m_runner->setExifExtraction([&] {
            extracted = true;
            return nullptr;
        });
        dense ? m_runner->runDense() : m_runner->runSparse();

        QVERIFY(!m_runner->current());
        QVERIFY(!extracted);
        QCOMPARE(m_saved, 0);
        const QString said = m_log->last();
        QVERIFY2(said.contains(m_site->path()) && said.contains(other.path()), qPrintable(said));
        QCOMPARE(m_log->status(), said);
        QVERIFY(m_actions.runSparse->isEnabled());
        QVERIFY(!m_actions.abort->isEnabled());
        QVERIFY(QDir(m_site->path()).entryList({"*.bat", "*.txt"}).isEmpty());
    }

private:
    QString logText() const { return m_log->joined(); }

    void addImages()
    {
        m_window->show();
        for (const char* name : {"a.JPG", "b.JPG", "c.JPG"}) {
            QFile f(m_site->filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            m_images->addImage(m_site->filePath(name), name);
        }
    }

    QScopedPointer<SfmToolDoubles> m_tools;
    QScopedPointer<QTemporaryDir> m_site;
    QScopedPointer<QMainWindow> m_window;
    QScopedPointer<LogLines> m_log;
    MyListWidget* m_images = nullptr;
    ReconstructionRunner::Actions m_actions;
    ReconstructionRunner* m_runner = nullptr;
    int m_saved = 0;
};

QTEST_MAIN(TestReconstructionRunner)
#include "tst_reconstructionrunner.moc"
