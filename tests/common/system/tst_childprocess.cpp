#include <QtTest>

#include "common/system/ChildProcess.h"

#include <csignal>
#include <string>

// How a run ended comes back as one number, and what the program printed
// lands in the log, with the environment it was given.
class TestChildProcess : public QObject
{
    Q_OBJECT
private slots:
    void endings_data()
    {
        QTest::addColumn<QString>("script");
        QTest::addColumn<int>("code");
        QTest::newRow("success") << "exit 0" << 0;
        QTest::newRow("failure") << "exit 3" << 3;
        QTest::newRow("killed") << "kill -TERM $$" << 128 + SIGTERM;
    }
    void endings()
    {
        QFETCH(QString, script);
        QFETCH(int, code);
        std::string error;
        QCOMPARE(ChildProcess::run("sh", {"-c", script.toStdString()}, std::string(), {}, &error), code);
        QVERIFY(error.empty());
    }

    void missingProgramSaysWhy()
    {
        std::string error;
        QCOMPARE(ChildProcess::run("orvalis-no-such-program", {}, std::string(), {}, &error), -1);
        QVERIFY2(error.find("cannot start orvalis-no-such-program") == 0, error.c_str());
        QVERIFY(ChildProcess::findProgram("orvalis-no-such-program").empty());
        QVERIFY(!ChildProcess::findProgram("sh").empty());
    }

    void bothChannelsAndTheEnvironmentReachTheLog()
    {
        QTemporaryDir dir;
        const std::string log = dir.filePath("run.log").toStdString();
        for (int i = 0; i < 2; ++i)
            QCOMPARE(ChildProcess::run("sh", {"-c", "echo \"out $ORVALIS_TEST_VALUE\"; echo err >&2"}, log,
                                       {"ORVALIS_TEST_VALUE=42"}),
                     0);
        QFile file(QString::fromStdString(log));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("out 42\nerr\nout 42\nerr\n")); // appended, not replaced
    }
};

QTEST_GUILESS_MAIN(TestChildProcess)
#include "tst_childprocess.moc"
