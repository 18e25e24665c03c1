#include <QtTest>

#include <QProcess>
#include <QTemporaryDir>

#include "core/platform/BatchInterpreter.h"
#include "core/platform/PlatformPaths.h"

namespace {

bool writeFile(const QString& path, const QByteArray& content, bool executable = false)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(content);
    f.close();
    if (executable)
        f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
    return true;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QString windows(QString path)
{
    return path.replace('/', '\\');
}

} // namespace

// Scripts in the form the pipeline writes them, run through the real
// interpreter program, with a small stand-in tool.
class TestBatchInterpreter : public QObject
{
    Q_OBJECT
private slots:
    void splitKeepsQuotedParts()
    {
        QCOMPARE(BatchInterpreter::split("  a  \"b c\"\td "), (QStringList{"a", "b c", "d"}));
        QCOMPARE(BatchInterpreter::split(""), QStringList());
        QCOMPARE(BatchInterpreter::split("x \"\""), (QStringList{"x", ""}));
    }

    void scriptOfThePipeline()
    {
        QTemporaryDir dir;
        const QString d = dir.path();
        // The stand-in tool records its arguments and prints a line.
        QVERIFY(writeFile(d + "/Tool", "#!/bin/sh\necho \"$@\" >> \"$(dirname \"$0\")/args.txt\"\necho tool says hi\n",
                          true));
        QVERIFY(writeFile(d + "/m0.txt", "a b\n"));
        QVERIFY(writeFile(d + "/m1.txt", "c d\n"));
        QVERIFY(writeFile(d + "/old.txt", "stale"));
        const QString w = windows(d);
        const QByteArray script = ("@ECHO off\n"
                                   "ECHO *******************************\n"
                                   "ECHO Setting up Directories\n"
                                   "mkdir " + w + "\\pmvs\\txt\\\n"
                                   "mkdir " + w + "\\pmvs\\txt\\\n"
                                   "if exist " + w + "\\old.txt rm " + w + "\\old.txt\n"
                                   "if exist " + w + "\\never.txt rm " + w + "\\m0.txt\n"
                                   "type " + w + "\\m0.txt " + w + "\\m1.txt > " + w + "\\all.txt\n"
                                   + w + "\\Tool.exe " + w + "\\pmvs\\ 10 2\n"
                                   "NoSuchTool.exe x\n"
                                   "cmd /c " + w + "\\Tool.exe sfm+import " + w + "\\list.txt > " + w + "\\out.txt\r\n"
                                   "ECHO Completed Tasks").toUtf8();
        QVERIFY(writeFile(d + "/run.bat", script));

        QProcess p;
        p.start(PlatformPaths::commandInterpreter(ORVALIS_APP_DIR),
                PlatformPaths::commandInterpreterArguments() << windows(d + "/run.bat"));
        QVERIFY(p.waitForFinished(20000));
        const QByteArray out = p.readAllStandardOutput();
        const QByteArray err = p.readAllStandardError();
        QCOMPARE(out, QByteArray("*******************************\nSetting up Directories\ntool says hi\n"
                                 "Completed Tasks\n"));
        QVERIFY2(err.contains("already exists"), err.constData());
        QVERIFY2(err.contains("'NoSuchTool.exe' is not recognized"), err.constData());
        // The missing tool, not the closing ECHO, decides how the script ended.
        QCOMPARE(p.exitCode(), 127);
        QVERIFY(QFileInfo(d + "/pmvs/txt").isDir());
        QVERIFY(!QFile::exists(d + "/old.txt"));
        QVERIFY(QFile::exists(d + "/m0.txt"));
        QCOMPARE(readFile(d + "/all.txt"), QByteArray("a b\nc d\n"));
        QCOMPARE(readFile(d + "/args.txt"), (d + "/pmvs/ 10 2\nsfm+import " + d + "/list.txt\n").toUtf8());
        QCOMPARE(readFile(d + "/out.txt"), QByteArray("tool says hi\n"));
    }

    // runCMPMVS.bat: "@ECHO off " and a "cd" with trailing blanks, then the
    // tool, which runs in the folder changed to.
    void changedFolderWithTrailingBlank()
    {
        QTemporaryDir dir;
        const QString d = dir.path();
        QVERIFY(QDir(d).mkpath("SfM/CMPMVS"));
        QVERIFY(writeFile(d + "/SfM/CMPMVS/CMPMVS", "#!/bin/sh\npwd > \"$1\"\n", true));
        const QString w = windows(d);
        QVERIFY(writeFile(d + "/runCMPMVS.bat", ("@ECHO off \ncd " + w + "\\SfM\\CMPMVS\\ \n" + w
                                                + "\\SfM\\CMPMVS\\CMPMVS.exe " + w + "\\where.txt").toUtf8()));
        QProcess p;
        p.start(PlatformPaths::commandInterpreter(ORVALIS_APP_DIR), {"/c", d + "/runCMPMVS.bat"});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 0);
        QCOMPARE(p.readAllStandardOutput(), QByteArray());
        QCOMPARE(readFile(d + "/where.txt").trimmed(), QDir(d + "/SfM/CMPMVS").canonicalPath().toUtf8());
    }

    // A prepare script whose first tool fails runs on to its "ECHO Completed
    // Tasks" and clean-up; it must still end with the tool's exit code and
    // its reason as the last line of the error output.
    void failedToolEndsTheScriptWithItsCodeAndReason()
    {
        QTemporaryDir dir;
        const QString d = dir.path();
        QVERIFY(writeFile(d + "/Convert", "#!/bin/sh\necho 'Convert: cannot read bundle.out' >&2\nexit 3\n",
                          true));
        QVERIFY(writeFile(d + "/Later", "#!/bin/sh\necho 'Later: no input' >&2\nexit 1\n", true));
        const QString w = windows(d);
        const QString script = "@ECHO off\n" + w + "\\Convert.exe x\n" + w + "\\Later.exe y\nrm " + w +
                               "\\prep_pmvs.sh\nECHO Completed Tasks";
        QVERIFY(writeFile(d + "/prepare.bat", script.toUtf8()));
        QProcess p;
        p.start(PlatformPaths::commandInterpreter(ORVALIS_APP_DIR), {"/c", d + "/prepare.bat"});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 3);
        QCOMPARE(p.readAllStandardOutput(), QByteArray("Completed Tasks\n"));
        const QList<QByteArray> err = p.readAllStandardError().trimmed().split('\n');
        QCOMPARE(err.last(), QByteArray("Convert: cannot read bundle.out"));
        QVERIFY(err.contains("Later: no input"));
    }

    // A photo folder such as "Grabung Süd 2": the scripts quote the paths
    // that hold a blank, and a tool gets each such path as one argument,
    // from a script and from the interpreter's own command line.
    void quotedPathsInAFolderWithABlank()
    {
        QTemporaryDir dir;
        const QString d = dir.path() + "/Grabung Sued 2";
        QVERIFY(QDir().mkpath(d));
        QVERIFY(writeFile(
            d + "/Tool",
            "#!/bin/sh\nfor a in \"$@\"; do echo \"[$a]\"; done >> \"$(dirname \"$0\")/args.txt\"\n", true));
        QVERIFY(writeFile(d + "/m0.txt", "a b\n"));
        const QString q = '"' + windows(d);
        const QStringList script{"mkdir " + q + "\\pmvs\\txt\\\\\"",
                                 "type " + q + "\\m0.txt\" > " + q + "\\all.txt\"",
                                 "if exist " + q + "\\all.txt\" " + q + "\\Tool.exe\" " + q + "\\all.txt\" 10",
                                 "cmd /c " + q + "\\Tool.exe\" x"};
        QVERIFY(writeFile(d + "/run.bat", script.join('\n').toUtf8()));
        QProcess p;
        p.start(PlatformPaths::commandInterpreter(ORVALIS_APP_DIR), {"/c", windows(d + "/run.bat")});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.readAllStandardError(), QByteArray());
        p.start(PlatformPaths::commandInterpreter(ORVALIS_APP_DIR),
                {"/c", windows(d + "/Tool.exe"), windows(d + "/m0.txt")});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(QFileInfo(d + "/pmvs/txt").isDir());
        QCOMPARE(readFile(d + "/all.txt"), QByteArray("a b\n"));
        QCOMPARE(readFile(d + "/args.txt"),
                 ("[" + d + "/all.txt]\n[10]\n[x]\n[" + d + "/m0.txt]\n").toUtf8());
    }

    // A batch file that calls itself ends at the nesting limit with a
    // message, instead of exhausting the stack or the open files.
    void selfCallingScriptStopsAtTheNestingLimit()
    {
        QTemporaryDir dir;
        const QString self = dir.filePath("self.bat");
        QVERIFY(writeFile(self, ("ECHO again\n" + windows(self)).toUtf8()));
        QString outText, errText;
        QTextStream out(&outText), err(&errText);
        BatchInterpreter interpreter(out, err);
        QCOMPARE(interpreter.runScript(self), 1);
        QCOMPARE(outText.count("again"), BatchInterpreter::maxNesting);
        QVERIFY2(errText.contains("nested more than 64 deep"), qPrintable(errText));
    }

    // Scripts that call themselves or each other without end: the run stops
    // at the first limit it reaches, says so in one line and ends with 1.
    // Refusing only the one call let every later line be refused again: a
    // self-calling script of 100 lines ran for seconds and printed 89 MB.
    void runawayScriptsStopAtTheFirstLimit_data()
    {
        QTest::addColumn<QStringList>("files"); // name, content, name, content ...
        QTest::addColumn<QString>("reason");
        QTest::addColumn<int>("echoes");
        QString selfCalls = "ECHO again\n";
        for (int i = 0; i < 99; ++i)
            selfCalls += "%1\\self.bat\n";
        QTest::newRow("calls itself on every line")
            << QStringList{"self.bat", selfCalls} << "nested more than 64 deep"
            << BatchInterpreter::maxNesting;
        QString many, more;
        for (int i = 0; i < 200; ++i) {
            many += "%1\\b.bat\n";
            more += "%1\\c.bat\n";
        }
        QTest::newRow("calls others on every line")
            << QStringList{"self.bat", many, "b.bat", more, "c.bat", "ECHO again\n"} << "started 10000 times"
            << BatchInterpreter::maxScriptRuns - 1 - 50;
        // A megabyte of script called a hundred times.
        const QString remarks = QString("rem " + QString(1019, 'x') + "\n").repeated(1024);
        QString calls;
        for (int i = 0; i < 100; ++i)
            calls += "ECHO again\n%1\\big.bat\n";
        QTest::newRow("reads more script than a run needs")
            << QStringList{"self.bat", calls, "big.bat", remarks} << "more than 64 MB were read" << 64;
    }
    void runawayScriptsStopAtTheFirstLimit()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, reason);
        QFETCH(int, echoes);
        QTemporaryDir dir;
        for (int i = 0; i + 1 < files.size(); i += 2)
            QVERIFY(writeFile(dir.filePath(files[i]), files[i + 1].arg(windows(dir.path())).toUtf8()));
        QString outText, errText;
        QTextStream out(&outText), err(&errText);
        BatchInterpreter interpreter(out, err);
        QCOMPARE(interpreter.runScript(dir.filePath("self.bat")), BatchInterpreter::limitReached);
        QCOMPARE(outText.count("again"), echoes);
        QCOMPARE(errText.count('\n'), 1);
        QVERIFY2(errText.contains(reason), qPrintable(errText));
        QCOMPARE(interpreter.limitMessage() + '\n', errText);
    }

    // One line of 50,000 "cmd /c " overflowed the stack (each prefix was
    // one more call deep); it is refused whole, by the program too.
    void overlongLineIsRefusedWithAReason()
    {
        QTemporaryDir dir;
        const QString line = QString("cmd /c ").repeated(50000) + "ECHO never";
        QVERIFY(writeFile(dir.filePath("long.bat"), line.toUtf8()));
        QProcess p;
        p.start(PlatformPaths::commandInterpreter(ORVALIS_APP_DIR), {"/c", dir.filePath("long.bat")});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), BatchInterpreter::limitReached);
        QCOMPARE(p.readAllStandardOutput(), QByteArray());
        const QByteArray err = p.readAllStandardError();
        QCOMPARE(err.count('\n'), 1);
        QVERIFY2(err.contains("line 1 of") && err.contains("too long"), err.constData());

        QString outText, errText;
        QTextStream out(&outText), errStream(&errText);
        BatchInterpreter interpreter(out, errStream);
        QCOMPARE(interpreter.runLine(line), BatchInterpreter::limitReached);
        QVERIFY2(errText.contains("too long"), qPrintable(errText));
        QCOMPARE(outText, QString());
    }

    // Each "if exist X " copied the rest of the line's words one call
    // deeper: a line of them needed memory in the square of its length.
    // Now the prefixes are taken off in place; the program runs in an
    // address space far smaller than the copies needed.
    void longChainOfPrefixesRunsInLittleMemory()
    {
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("x"), ""));
        // 450 MB before, 11 MB now.
        const QString line = QString("if exist x cmd /c ").repeated(3333) + "ECHO deep";
        QVERIFY(line.size() < BatchInterpreter::maxLineLength);
        QVERIFY(writeFile(dir.filePath("deep.bat"), line.toUtf8()));
        QProcess p;
        p.setWorkingDirectory(dir.path());
        p.start("/bin/sh", {"-c", "ulimit -v 150000 && exec \"$0\" /c deep.bat",
                            PlatformPaths::commandInterpreter(ORVALIS_APP_DIR)});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.readAllStandardError(), QByteArray());
        QCOMPARE(p.readAllStandardOutput(), QByteArray("deep\n"));
        QCOMPARE(p.exitCode(), 0);
    }

    void commandLineAndExitCodes()
    {
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("fail"), "#!/bin/sh\nexit 3\n", true));
        QProcess p;
        p.start(PlatformPaths::commandInterpreter(ORVALIS_APP_DIR), {"/c", windows(dir.filePath("fail.exe")), "x"});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 3);
        p.start(PlatformPaths::commandInterpreter(ORVALIS_APP_DIR), {"/c", "missing.exe"});
        QVERIFY(p.waitForFinished(20000));
        QCOMPARE(p.exitCode(), 127);
        p.start(PlatformPaths::commandInterpreter(ORVALIS_APP_DIR), {"/c", dir.filePath("absent.bat")});
        QVERIFY(p.waitForFinished(20000));
        QVERIFY(p.exitCode() != 0);
    }
};

QTEST_GUILESS_MAIN(TestBatchInterpreter)
#include "tst_batchinterpreter.moc"
