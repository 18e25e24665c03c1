#include <QtTest>

#include "core/pipeline/MachineDescription.h"
#include "core/pipeline/StageRecord.h"
#include "core/pipeline/StageTiming.h"

// The timing lines of the feature stage and the machine they were taken on.
class TestStageTiming : public QObject
{
    Q_OBJECT
private slots:
    void duration_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("3725 s") << 3725.0 << "1:2:5";
        QTest::newRow("nothing to do") << 0.0 << "0:0:0";
        QTest::newRow("one file") << 3.5 << "0:0:3.5";
        QTest::newRow("a day") << 86400.0 << "24:0:0";
    }
    void duration()
    {
        QFETCH(double, seconds);
        QFETCH(QString, text);
        QCOMPARE(StageTiming::duration(seconds), text);
    }

    void endTime_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("end");
        QTest::newRow("hours run on past midnight") << "23:50:00.00" << 3725.0 << "24:52:05";
        QTest::newRow("seconds and minutes carry") << "10:59:58.50" << 3.0 << "11:00:01.5";
        QTest::newRow("nothing to do") << "09:05:07.25" << 0.0 << "09:05:07.25";
    }
    void endTime()
    {
        QFETCH(QString, start);
        QFETCH(double, seconds);
        QFETCH(QString, end);
        QCOMPARE(StageTiming::endTime(start, seconds), end);
        QCOMPARE(StageTiming::estimateLines(start, seconds).last(), "Estimated End Time: " + end);
    }

    void clockTextHasHundredths()
    {
        QCOMPARE(StageTiming::clockText(QTime(23, 50, 0, 120)), QString("23:50:00.12"));
        QCOMPARE(StageTiming::clockText(QTime(8, 1, 2, 5)), QString("08:01:02.00"));
    }

    void elapsedAcrossMidnight()
    {
        StageRecord r;
        r.files = 3;
        r.estimatedPerFile = 3.5;
        r.start = QDateTime(QDate(2015, 3, 1), QTime(23, 59, 50));
        r.end = QDateTime(QDate(2015, 3, 2), QTime(0, 0, 20));
        QCOMPARE(StageTiming::finish(r),
                 (QStringList{"Total Time Spent in Seconds: 30", "Total Time Spent: 0:0:30",
                              "Time per item 10", "Error from Estimate: -6.5", "New Average: 6.75"}));
        QVERIFY(r.measured);
        QCOMPARE(r.newAverage, 6.75);
    }

    void noFilesGivesNoPerFileFigures()
    {
        StageRecord r;
        r.estimatedPerFile = 3.5;
        r.start = QDateTime(QDate(2015, 3, 1), QTime(10, 0, 0));
        r.end = r.start.addMSecs(250);
        QCOMPARE(StageTiming::finish(r),
                 (QStringList{"Total Time Spent in Seconds: 0.25", "Total Time Spent: 0:0:0.25",
                              "Time per item n/a", "Error from Estimate: n/a", "New Average: n/a"}));
        QVERIFY(!r.measured);
    }

    void processorBrand()
    {
        QCOMPARE(MachineDescription::parseProcessorBrand("processor\t: 0\nvendor_id\t: AuthenticAMD\n"
                                                         "model name\t:   AMD EPYC 7B13\nprocessor\t: 1\n"
                                                         "model name\t: other\n"),
                 QString("AMD EPYC 7B13"));
        QCOMPARE(MachineDescription::parseProcessorBrand("processor : 0\n"), QString());
    }
};

QTEST_GUILESS_MAIN(TestStageTiming)
#include "tst_stagetiming.moc"
