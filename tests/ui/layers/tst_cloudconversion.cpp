#include <QtTest>

#include <QMessageBox>

#include <sys/stat.h>

#include "ui/layers/CloudConversion.h"
#include "ui/main/MainWindow.h"

namespace
{

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray asciiPly(int points, const QByteArray& lastLine = QByteArray())
{
    QByteArray text = "ply\nformat ascii 1.0\ncomment VCGLIB generated\nelement vertex " +
                      QByteArray::number(points) +
                      "\nproperty float x\nproperty float y\nproperty float z\nproperty uchar red\n"
                      "property uchar green\nproperty uchar blue\nproperty uchar alpha\nelement face 0\n"
                      "property list uchar int vertex_indices\nend_header\n";
    for (int i = 0; i < points - 1; ++i)
        text += QByteArray::number(i) + " " + QByteArray::number(i % 7) + " 1.5 10 20 30 255\n";
    return text + (lastLine.isEmpty() ? QByteArray("9 9 9 1 2 3 255\n") : lastLine);
}

} // namespace

// The window side of "&PLY->OSGA(LOD)": the tool runs through the command
// interpreter from an application folder of the test's own, holding our
// interpreter and either the real Points2Archive or a stand-in script.
class TestCloudConversion : public QObject
{
    Q_OBJECT

    QTemporaryDir m_app;
    QTemporaryDir m_data;

    void installTool(const QByteArray& script)
    {
        const QString tool = m_app.filePath("Points2Archive");
        QFile::remove(tool);
        if (script.isEmpty()) {
            QVERIFY(QFile::link(QStringLiteral(ORVALIS_APP_DIR "/Points2Archive"), tool));
            return;
        }
        QVERIFY(writeFile(tool, "#!/bin/sh\n" + script));
        QVERIFY(QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

private slots:
    void initTestCase()
    {
        qRegisterMetaType<QProcess::ExitStatus>();
        QVERIFY(QFile::link(QStringLiteral(ORVALIS_APP_DIR "/orvcmd"), m_app.filePath("orvcmd")));
    }

    void commandLine_data()
    {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("expected");
        QTest::newRow("as the tool expects it")
            << "/data/dense.ply"
            << "/app/Points2Archive.exe  -i /data/dense.ply -o /data/dense.bin -input_format xyzrgbi "
               "-output_format xyzrgb -color_scale 1.0 -intensity_scale 0.165 -skip_header 16";
        // The interpreter splits at blanks; a quoted path stays one word.
        QTest::newRow("blanks in the path")
            << "/data/site 3/dense.ply"
            << "/app/Points2Archive.exe  -i \"/data/site 3/dense.ply\" -o \"/data/site 3/dense.bin\" "
               "-input_format "
               "xyzrgbi -output_format xyzrgb -color_scale 1.0 -intensity_scale 0.165 -skip_header 16";
    }
    void commandLine()
    {
        QFETCH(QString, input);
        QFETCH(QString, expected);
        QCOMPARE(CloudConversion::commandLine("/app", input, CloudConversion::intermediatePath(input)),
                 expected);
        QCOMPARE(CloudConversion::archivePath(CloudConversion::intermediatePath(input)),
                 input.left(input.size() - 3) + "osga");
    }

    void binaryOrUnreadableIsRefused_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("binary") << asciiPly(3).replace("format ascii", "format binary_little_endian");
        QTest::newRow("not a PLY") << QByteArray("hello\n");
        QTest::newRow("missing") << QByteArray();
    }
    void binaryOrUnreadableIsRefused()
    {
        QFETCH(QByteArray, content);
        const QString ply = m_data.filePath("refused.ply");
        QFile::remove(ply);
        if (!content.isEmpty())
            QVERIFY(writeFile(ply, content));
        QProcess process;
        CloudConversion conversion(&process, m_app.path());
        QSignalSpy log(&conversion, &CloudConversion::logLine);
        QString refusal;
        QVERIFY(!conversion.startArchive(ply, &refusal));
        QCOMPARE(refusal, QString("Ply Must be ASCII format, this is Binary (Convert in Meshlab)"));
        QCOMPARE(log.size(), 1);
        QCOMPARE(process.state(), QProcess::NotRunning);
        QVERIFY(conversion.pendingOutput().isEmpty());
    }

    // "Ply Successfully Converted" only when the tool succeeded and the
    // archive is there; otherwise the log says why.
    void successOnlyWhenTheArchiveExists_data()
    {
        QTest::addColumn<QByteArray>("ply");
        QTest::addColumn<QByteArray>("script"); // empty: the real tool
        QTest::addColumn<bool>("converted");
        QTest::addColumn<QString>("message");
        QTest::newRow("converts") << asciiPly(500) << QByteArray() << true << "Ply Successfully Converted";
        QTest::newRow("the tool refuses a bad line")
            << asciiPly(500, "9 nine 9 1 2 3 255\n") << QByteArray() << false
            << "Ply conversion failed: Points2Archive: %1: line 514: value 2 is not a number";
        QTest::newRow("ends well, writes nothing")
            << asciiPly(5) << QByteArray("echo half > \"$4\"\nexit 0\n") << false
            << "Ply conversion failed: no archive was written to %2";
        QTest::newRow("fails without a word")
            << asciiPly(5) << QByteArray("echo half > \"$4\"\nexit 3\n") << false
            << "Ply conversion failed: Points2Archive ended with code 3";
    }
    void successOnlyWhenTheArchiveExists()
    {
        QFETCH(QByteArray, ply);
        QFETCH(QByteArray, script);
        QFETCH(bool, converted);
        QFETCH(QString, message);
        installTool(script);
        const QString input = m_data.filePath("dense.ply");
        const QString archive = m_data.filePath("dense.osga");
        QFile::remove(archive);
        QVERIFY(writeFile(input, ply));

        QProcess process;
        CloudConversion conversion(&process, m_app.path());
        QStringList log;
        connect(&conversion, &CloudConversion::logLine, this, [&log](const QString& line) { log << line; });
        QSignalSpy finished(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
        QString refusal;
        QVERIFY2(conversion.startArchive(input, &refusal), qPrintable(refusal));
        QCOMPARE(conversion.pendingOutput(), m_data.filePath("dense.bin"));
        QVERIFY(finished.wait(60000));
        const CloudConversion::Finish finish =
            conversion.finishArchive(finished.first().at(0).toInt(), process.exitStatus());

        QCOMPARE(finish.converted, converted);
        QCOMPARE(finish.message, message.replace("%1", input).replace("%2", archive));
        QCOMPARE(finish.archive, converted ? archive : QString());
        QCOMPARE(QFile::exists(archive), converted);
        QCOMPARE(log.first(),
                 CloudConversion::commandLine(m_app.path(), input, m_data.filePath("dense.bin")));
        QCOMPARE(log.last(), finish.message);
        QCOMPARE(log.contains("Ply Successfully Converted"), converted);
        if (script.isEmpty() && converted)
            QVERIFY(log.filter("Points2Archive: wrote").size() == 1); // the tool's progress reached the log
        // The tool's intermediate is gone however the run ended.
        QVERIFY(!QFile::exists(m_data.filePath("dense.bin")));
        QVERIFY(conversion.pendingOutput().isEmpty());
    }

    // An application folder without the command interpreter: nothing runs,
    // nothing stays pending, and the user is told.
    void missingInterpreterIsSaidAtOnce()
    {
        QTemporaryDir empty;
        const QString ply = m_data.filePath("alone.ply");
        QVERIFY(writeFile(ply, asciiPly(3)));
        QProcess process;
        CloudConversion conversion(&process, empty.path());
        QString refusal;
        QVERIFY(!conversion.startArchive(ply, &refusal));
        QVERIFY2(refusal.startsWith("Ply conversion failed: cannot start"), qPrintable(refusal));
        QVERIFY(conversion.pendingOutput().isEmpty());
        QVERIFY(!conversion.archiveRunning());
    }

    // Quitting while the tool runs showed an error box without a window and
    // left the tool's pieces on disk.
    void quitDuringConversionLeavesNoBoxNorPieces()
    {
        // A tool that has made its pieces and is still working when the window goes.
        installTool(
            "for f in \"$4\" \"$4\"0 \"$4\"05 \"${4%.bin}.osga.part77.osga\"; do echo x > \"$f\"; done\n"
            "exec sleep 60\n");
        QTemporaryDir data;
        const QString input = data.filePath("dense.ply");
        QVERIFY(writeFile(input, asciiPly(5)));
        QVERIFY(writeFile(data.filePath("dense.bin.txt"), "not a piece")); // a file of the user's

        auto* window = new MainWindow;
        window->cloudConversion()->setApplicationFolder(m_app.path());
        window->convertPlyToOsga(input.toStdString());
        QTRY_VERIFY(QFile::exists(data.filePath("dense.osga.part77.osga")));

        QStringList boxes;
        QTimer watch;
        connect(&watch, &QTimer::timeout, [&boxes] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                    boxes << box->text();
                    box->done(0);
                }
        });
        watch.start(20);
        delete window;
        watch.stop();
        QCOMPARE(boxes, QStringList());
        QStringList left = QDir(data.path()).entryList(QDir::Files);
        left.sort();
        QCOMPARE(left, QStringList({"dense.bin.txt", "dense.ply"}));
    }

    // "Convert Ply2Pts" ran on the window's thread and froze it until done.
    // Here the PLY arrives through a pipe only after the conversion has
    // started: a conversion on this thread would wait for it forever.
    void plyToPtsLeavesTheWindowFree()
    {
        QTemporaryDir data;
        const QString fifo = data.filePath("pipe.ply");
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QProcess process;
        CloudConversion conversion(&process, m_app.path());
        QSignalSpy finished(&conversion, &CloudConversion::ptsFinished);
        QSignalSpy status(&conversion, &CloudConversion::statusMessage);
        QVERIFY(conversion.startPts(fifo));
        QVERIFY(conversion.ptsRunning());
        QVERIFY(!conversion.startPts(fifo)); // one at a time
        QCOMPARE(status.last().at(0).toString(), QString("A Ply to Pts conversion is still running"));

        QFile pipe(fifo);
        QVERIFY(pipe.open(QIODevice::WriteOnly));
        pipe.write(asciiPly(3));
        pipe.close();
        QVERIFY(finished.wait(30000));
        QCOMPARE(finished.first().at(0).toBool(), true);
        QVERIFY(!conversion.ptsRunning());
        QCOMPARE(status.last().at(0).toString(), QString("Ply converted to Pts"));
        QFile pts(data.filePath("pipe.pts"));
        QVERIFY(pts.open(QIODevice::ReadOnly));
        QCOMPARE(pts.readAll(), QByteArray("3\n0 0 1.5 0 10 20 30\n1 1 1.5 0 10 20 30\n9 9 9 0 1 2 3"));
    }

    void secondConversionWaitsForTheFirst()
    {
        installTool("sleep 1\nexit 0\n");
        const QString first = m_data.filePath("first.ply");
        const QString second = m_data.filePath("second.ply");
        QVERIFY(writeFile(first, asciiPly(3)));
        QVERIFY(writeFile(second, asciiPly(3)));
        QProcess process;
        CloudConversion conversion(&process, m_app.path());
        QSignalSpy finished(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished));
        QString refusal;
        QVERIFY(conversion.startArchive(first, &refusal));
        QVERIFY(!conversion.startArchive(second, &refusal));
        QVERIFY(refusal.contains("still running"));
        QCOMPARE(conversion.pendingOutput(), m_data.filePath("first.bin"));
        QVERIFY(finished.wait(30000));
        conversion.finishArchive(0, QProcess::NormalExit);
        QVERIFY(conversion.startArchive(second, &refusal));
        QVERIFY(finished.wait(30000));
    }
};

QTEST_MAIN(TestCloudConversion)
#include "tst_cloudconversion.moc"
