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
