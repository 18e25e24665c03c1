#include <QBuffer>
#include <QtTest>

#include "core/images/MatchSets.h"

namespace
{

bool readText(MatchSets& sets, const QByteArray& text, QString* error = nullptr)
{
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    return sets.read(buffer, error);
}

// Reads like a pipe: no size to bound a count by.
class PipeDevice : public QBuffer
{
public:
    bool isSequential() const override { return true; }
};

} // namespace

class TestMatchSets : public QObject
{
    Q_OBJECT
private slots:
    void matchesAreKeptUnderBothImages()
    {
        MatchSets sets;
        QVERIFY(readText(sets, "C:\\site\\a.JPG C:\\site\\b.JPG 3\n5 6 7\n50 60 70\n"
                               "C:\\site\\a.JPG C:\\site\\c.JPG 1\n5\n9\n"));
        QCOMPARE(sets.entries().size(), 3);
        QCOMPARE(sets.entries()[0].name, QString("a.JPG"));
        const QVector<MatchSets::Match> ofA5 = sets.matchesOf("a.jpg", 5);
        QCOMPARE(ofA5.size(), 2);
        QCOMPARE(ofA5[0].otherImage, QString("b.JPG"));
        QCOMPARE(ofA5[0].otherFeature, 50);
        QCOMPARE(ofA5[1].otherImage, QString("c.JPG"));
        QCOMPARE(sets.matchesOf("b.JPG", 70)[0].otherFeature, 7);
        QVERIFY(sets.matchesOf("d.JPG", 5).isEmpty());
        QCOMPARE(sets.indexOf("d.JPG"), -1);
    }

    void malformedRecordsKeepEarlierOnes_data()
    {
        QTest::addColumn<QByteArray>("tail");
        QTest::addColumn<QString>("reason");
        QTest::newRow("too few indices") << QByteArray("a.JPG c.JPG 3\n1 2\n4 5 6\n") << "expected 3";
        QTest::newRow("count not a number") << QByteArray("a.JPG c.JPG many\n1\n2\n") << "image image count";
        QTest::newRow("count beyond the file")
            << QByteArray("a.JPG c.JPG 2000000000\n1\n2\n") << "cannot follow";
        QTest::newRow("missing third line") << QByteArray("a.JPG c.JPG 1\n1\n") << "expected 1";
    }
    void malformedRecordsKeepEarlierOnes()
    {
        QFETCH(QByteArray, tail);
        QFETCH(QString, reason);
        MatchSets sets;
        QString error;
        QVERIFY(!readText(sets, "a.JPG b.JPG 1\n0\n1\n" + tail, &error));
        QVERIFY2(error.contains(reason), qPrintable(error));
        QCOMPARE(sets.matchesOf("a.JPG", 0).size(), 1);
        QVERIFY(sets.matchesOf("c.JPG", 1).isEmpty());
    }

    // On a pipe the file's size is unknown: a count is bounded by the line
    // that should hold its indices (2147483647 used to abort with bad_alloc).
    void countsOnAPipeAreBoundedByTheLine_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("2147483647") << QByteArray("a.JPG b.JPG 2147483647\n1 2\n3 4\n");
        QTest::newRow("more than the line holds") << QByteArray("a.JPG b.JPG 3\n1 2\n3 4\n");
    }
    void countsOnAPipeAreBoundedByTheLine()
    {
        QFETCH(QByteArray, text);
        PipeDevice pipe;
        pipe.setData(text);
        pipe.open(QIODevice::ReadOnly);
        MatchSets sets;
        QString error;
        QVERIFY(!sets.read(pipe, &error));
        QVERIFY2(error.contains("feature indices of a.JPG (line 2)"), qPrintable(error));
    }

    // A folder of many photos: each name used to be looked up by a scan of
    // all the names before it (80,000 names took a minute). 100,000 names
    // now read in well under a second; the bound only catches the square.
    void manyImageNamesReadInLinearTime()
    {
        const int names = 100000;
        QByteArray text;
        text.reserve(names * 16);
        for (int i = 0; i < names; i += 2)
            text += "p" + QByteArray::number(i) + ".JPG p" + QByteArray::number(i + 1) + ".JPG 0\n\n\n";
        text += "P99998.jpg p7.jpg 1\n3\n4\n";
        MatchSets sets;
        QElapsedTimer timer;
        timer.start();
        QVERIFY(readText(sets, text));
        QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
        QCOMPARE(sets.entries().size(), names);
        QCOMPARE(sets.indexOf("p99998.JPG"), 99998);
        QCOMPARE(sets.matchesOf("p7.JPG", 4).size(), 1);
        QCOMPARE(sets.matchesOf("p7.JPG", 4)[0].otherImage, QString("P99998.jpg"));
    }

    void fileBesideTheImages()
    {
        QCOMPARE(MatchSets::pathFor("/site/photos/a.JPG"), QString("/site/photos/gpu_matches.init.txt"));
    }
};

QTEST_GUILESS_MAIN(TestMatchSets)
#include "tst_matchsets.moc"
