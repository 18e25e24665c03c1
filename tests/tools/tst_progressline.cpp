#include <QtTest>

#include <sstream>
#include <thread>
#include <vector>

#include "ProgressLine.h"
#include "core/pipeline/StageProgress.h"

namespace
{

QStringList linesOf(const std::ostringstream& out)
{
    return QString::fromStdString(out.str()).split('\n', Qt::SkipEmptyParts);
}

} // namespace

// The tools' progress lines: few enough for a log, and read by the workbench
// as the tools print them.
class TestProgressLine : public QObject
{
    Q_OBJECT
private slots:
    void startEachHundredthAndEnd()
    {
        std::ostringstream out;
        {
            ProgressLine progress(&out, "matching", 1000, "pairs");
            for (int i = 0; i < 1000; ++i)
                progress.step();
            progress.step(); // past the end: nothing
        }
        const QStringList lines = linesOf(out);
        QCOMPARE(lines.size(), 101);
        QCOMPARE(lines.first(), QString("progress: matching 0 of 1000 pairs"));
        QCOMPARE(lines[1], QString("progress: matching 10 of 1000 pairs"));
        QCOMPARE(lines.last(), QString("progress: matching 1000 of 1000 pairs"));
    }

    void smallCountsLineByLine()
    {
        std::ostringstream out;
        ProgressLine progress(&out, "", 3, "clusters");
        progress.set(1);
        progress.set(1);
        progress.set(3);
        QCOMPARE(linesOf(out), QStringList({"progress: 0 of 3 clusters", "progress: 1 of 3 clusters",
                                            "progress: 3 of 3 clusters"}));
    }

    void nothingToCountPrintsNothing()
    {
        std::ostringstream out;
        ProgressLine progress(&out, "", 0, "views");
        progress.step();
        ProgressLine quiet(nullptr, "", 5, "views");
        quiet.step();
        QVERIFY(out.str().empty());
    }

    void threadsCountingTogetherReachTheEnd()
    {
        std::ostringstream out;
        ProgressLine progress(&out, "", 400, "photos");
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&] {
                for (int i = 0; i < 100; ++i)
                    progress.step();
            });
        for (std::thread& t : threads)
            t.join();
        StageProgress read(QDateTime(QDate(2026, 1, 1), QTime(8, 0)));
        for (const QString& line : linesOf(out))
            QVERIFY2(read.read(line, QDateTime(QDate(2026, 1, 1), QTime(8, 1))), qPrintable(line));
        QCOMPARE(read.countText(), QString("400 of 400 photos"));
        QCOMPARE(read.fraction(), 1.0);
    }
};

QTEST_APPLESS_MAIN(TestProgressLine)
#include "tst_progressline.moc"
