#include <QtTest>

#include "common/system/StopSignals.h"

#include <csignal>

// Each of the three signals that end a tool sets the flag and no more: the
// process lives on to clean up.
class TestStopSignals : public QObject
{
    Q_OBJECT
private slots:
    void signalsSetTheFlag_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void signalsSetTheFlag()
    {
        QFETCH(int, signal);
        const std::atomic<bool>* stop = StopSignals::install();
        const_cast<std::atomic<bool>*>(stop)->store(false);
        QVERIFY(!StopSignals::requested());
        QCOMPARE(std::raise(signal), 0);
        QVERIFY(*stop && StopSignals::requested());
    }
};

QTEST_GUILESS_MAIN(TestStopSignals)
#include "tst_stopsignals.moc"
