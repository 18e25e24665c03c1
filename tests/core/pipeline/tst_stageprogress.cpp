#include <QtTest>

#include "core/pipeline/StageProgress.h"

// The tools' progress lines read into counts, a share done and an end at the
// pace so far, on a clock the test moves by hand.
class TestStageProgress : public QObject
{
    Q_OBJECT

    const QDateTime m_start{QDate(2026, 5, 4), QTime(10, 0, 0)};
    QDateTime at(int seconds) const { return m_start.addSecs(seconds); }

private slots:
    void linesTakenApart_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<bool>("progress");
        QTest::addColumn<QString>("what");
        QTest::addColumn<int>("done");
        QTest::addColumn<int>("total");
        QTest::addColumn<QString>("unit");
        QTest::newRow("with what") << "progress: matching 12 of 40 pairs" << true << "matching" << 12 << 40
                                   << "pairs";
        QTest::newRow("words in what")
            << "progress: depth maps 3 of 9 views" << true << "depth maps" << 3 << 9 << "views";
        QTest::newRow("no what") << "progress: 0 of 3 clusters" << true << "" << 0 << 3 << "clusters";
        QTest::newRow("carriage return")
            << "progress: DSM 4 of 10 tiles\r" << true << "DSM" << 4 << 10 << "tiles";
        QTest::newRow("written by line()") << StageProgress::line("undistorting", 2, 5, "photos") << true
                                           << "undistorting" << 2 << 5 << "photos";
        QTest::newRow("past the end") << "progress: 5 of 4 photos" << false << "" << 0 << 0 << "";
        QTest::newRow("nothing to count") << "progress: 0 of 0 pairs" << false << "" << 0 << 0 << "";
        QTest::newRow("a log line") << "depth map 3/12: view 4" << false << "" << 0 << 0 << "";
        QTest::newRow("no unit") << "progress: 3 of 4" << false << "" << 0 << 0 << "";
        QTest::newRow("too many digits") << "progress: 1 of 99999999999 pairs" << false << "" << 0 << 0 << "";
    }
    void linesTakenApart()
    {
        QFETCH(QString, line);
        QFETCH(bool, progress);
        QFETCH(QString, what);
        QFETCH(int, done);
        QFETCH(int, total);
        QFETCH(QString, unit);
        StageProgress::Count c;
        QCOMPARE(StageProgress::parse(line, c), progress);
        if (!progress)
            return;
        QCOMPARE(c.what, what);
        QCOMPARE(c.done, done);
        QCOMPARE(c.total, total);
        QCOMPARE(c.unit, unit);
    }

    void endAtThePaceSoFar()
    {
        StageProgress p(m_start);
        QCOMPARE(p.text("Matching"), QString("Matching"));
        QVERIFY(!p.estimatedEnd().isValid());
        QVERIFY(!p.read("Verifying 40 pairs", at(1)));
        QVERIFY(p.read("progress: matching 0 of 40 pairs", at(2)));
        // Nothing done yet: no pace, no end.
        QVERIFY(!p.estimatedEnd().isValid());
        QCOMPARE(p.text("Matching"), QString("Matching: matching 0 of 40 pairs"));
        QVERIFY(p.read("progress: matching 10 of 40 pairs", at(30)));
        QCOMPARE(p.fraction(), 0.25);
        QCOMPARE(p.estimatedEnd(), at(120));
        QCOMPARE(p.text("Matching"), QString("Matching: matching 10 of 40 pairs, estimated end 10:02:00"));
        // The same count again is no news: the pace stays.
        QVERIFY(p.read("progress: matching 10 of 40 pairs", at(50)));
        QCOMPARE(p.estimatedEnd(), at(120));
        // Slower now: the end moves.
        QVERIFY(p.read("progress: matching 20 of 40 pairs", at(90)));
        QCOMPARE(p.estimatedEnd(), at(180));
        // Done: no end to wait for.
        QVERIFY(p.read("progress: matching 40 of 40 pairs", at(150)));
        QCOMPARE(p.text("Matching"), QString("Matching: matching 40 of 40 pairs"));
    }

    void linesInBlocksThatEndMidLine()
    {
        StageProgress p(m_start);
        QVERIFY(!p.readAll("progress: 3 of 12 v", at(10)));
        QVERIFY(!p.known());
        QVERIFY(p.readAll("iews\nprogress: 4 of", at(20)));
        QCOMPARE(p.countText(), QString("3 of 12 views"));
        QVERIFY(p.readAll(" 12 views\n", at(30)));
        QCOMPARE(p.countText(), QString("4 of 12 views"));
    }

    void innerCountsWithinOuter()
    {
        StageProgress p(m_start);
        p.readAll("progress: 0 of 2 clusters\nread 12 images\nprogress: depth maps 3 of 12 views\n", at(60));
        QCOMPARE(p.countText(), QString("0 of 2 clusters, depth maps 3 of 12 views"));
        QCOMPARE(p.fraction(), 0.125);
        QCOMPARE(p.estimatedEnd(), at(480));
        // The next cluster starts its views again.
        p.readAll("progress: depth maps 12 of 12 views\nprogress: 1 of 2 clusters\n", at(200));
        QCOMPARE(p.countText(), QString("1 of 2 clusters"));
        QCOMPARE(p.fraction(), 0.5);
        QCOMPARE(p.estimatedEnd(), at(400));
        p.read("progress: depth maps 6 of 8 views", at(350));
        QCOMPARE(p.fraction(), 0.875);
    }

    void nextStepAfterAFinishedCount()
    {
        StageProgress p(m_start);
        p.read("progress: DSM 10 of 10 tiles", at(100));
        p.read("OrthoDsm: DSM overviews", at(110));
        p.read("progress: orthophoto 0 of 4 tiles", at(120));
        QCOMPARE(p.countText(), QString("orthophoto 0 of 4 tiles"));
        p.read("progress: orthophoto 1 of 4 tiles", at(150));
        QCOMPARE(p.estimatedEnd(), at(240));
    }

    void batchesSideBySideAddUp()
    {
        StageProgress p(m_start);
        p.read("progress: matching 10 of 30 pairs", at(20), 0);
        p.read("progress: matching 0 of 10 pairs", at(20), 1);
        QCOMPARE(p.countText(), QString("matching 10 of 40 pairs"));
        QCOMPARE(p.fraction(), 0.25);
        p.read("progress: matching 10 of 10 pairs", at(40), 1);
        QCOMPARE(p.countText(), QString("matching 20 of 40 pairs"));
        QCOMPARE(p.estimatedEnd(), at(80));
    }

    void withoutStartTheFirstLineStarts()
    {
        StageProgress p;
        p.set({"", 0, 4, "photos"}, at(10));
        p.set({"", 1, 4, "photos"}, at(20));
        QCOMPARE(p.estimatedEnd(), at(50));
    }
};

QTEST_APPLESS_MAIN(TestStageProgress)
#include "tst_stageprogress.moc"
