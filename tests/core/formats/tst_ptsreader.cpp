#include "core/formats/PtsReader.h"

#include <QBuffer>
#include <QtTest>

#include "PointArrays.h"

#include <random>
#include "SharedData.h"

namespace
{

using pointarrays::grey;
using pointarrays::rgb;

bool readText(const QByteArray& text, osg::Vec3Array& v, osg::Vec4Array& c, QString* message = nullptr)
{
    return pointarrays::readText(
        [](QIODevice& d, osg::Vec3Array& a, osg::Vec4Array& b, QString* m) { return PtsReader::readPts(d, a, b, m); }, text, v, c,
        message);
}

} // namespace

class TestPtsReader : public QObject
{
    Q_OBJECT
private slots:
    void lines_data();
    void lines();
    void refusals_data();
    void refusals();
    void hugeDeclaredCountDoesNotReserveIt();
    void realFiles_data();
    void realFiles();
};

void TestPtsReader::lines_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("count");
    QTest::addColumn<osg::Vec3>("lastVertex");
    QTest::addColumn<osg::Vec4>("lastColour");
    QTest::addColumn<QString>("note");

    QTest::newRow("x y z intensity r g b") << QByteArray("2\n1 2 3 -1035 97 59 38\n4 5 6 10 1 2 3\n") << 2
                                           << osg::Vec3(4, 5, 6) << rgb(1, 2, 3) << QString();
    QTest::newRow("x y z intensity is grey")
        << QByteArray("1\n1.5 2.5 3.5 -255\n") << 1 << osg::Vec3(1.5f, 2.5f, 3.5f) << grey << QString();
    QTest::newRow("x y z is grey") << QByteArray("1\n-0.5 0.25 1e2") << 1 << osg::Vec3(-0.5f, 0.25f, 100)
                                   << grey << QString();
    QTest::newRow("mixed columns") << QByteArray("3\n1 1 1 0 9 9 9\n2 2 2\n3 3 3 5 7 8 9\n") << 3
                                   << osg::Vec3(3, 3, 3) << rgb(7, 8, 9) << QString();
    QTest::newRow("Windows line ends, tabs, blank lines")
        << QByteArray("2\r\n\r\n1\t2\t3\t0\t4\t5\t6\r\n 7 8 9 0 1 1 1 \r\n") << 2 << osg::Vec3(7, 8, 9)
        << rgb(1, 1, 1) << QString();
    QTest::newRow("two scans, each with its count")
        << QByteArray("1\n1 2 3 0 1 2 3\n2\n4 5 6\n7 8 9 0 4 5 6\n") << 3 << osg::Vec3(7, 8, 9)
        << rgb(4, 5, 6) << QString();
    QTest::newRow("lines beyond the count")
        << QByteArray("1\n1 2 3\n4 5 6\n7 8 9\n") << 1 << osg::Vec3(1, 2, 3) << grey
        << "2 lines beyond the declared count";
    QTest::newRow("a word and a short line are skipped")
        << QByteArray("4\n1 2 3\n1 x 3\n1 2\n4 5 6 0 1 2 3\n") << 2 << osg::Vec3(4, 5, 6) << rgb(1, 2, 3)
        << "2 lines are not points (first: line 3)";
    QTest::newRow("fewer lines than the count")
        << QByteArray("5\n1 2 3\n") << 1 << osg::Vec3(1, 2, 3) << grey << "4 points short";
}

void TestPtsReader::lines()
{
    QFETCH(QByteArray, text);
    QFETCH(int, count);
    QFETCH(osg::Vec3, lastVertex);
    QFETCH(osg::Vec4, lastColour);
    QFETCH(QString, note);

    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    QString message;
    QVERIFY2(readText(text, *v, *c, &message), qPrintable(message));
    QCOMPARE(int(v->size()), count);
    QCOMPARE(int(c->size()), count);
    QCOMPARE(v->back(), lastVertex);
    QCOMPARE(c->back(), lastColour);
    if (note.isEmpty())
        QVERIFY2(message.isEmpty(), qPrintable(message));
    else
        QVERIFY2(message.contains(note), qPrintable(message));
}

void TestPtsReader::refusals_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("reason");

    std::mt19937 random(3);
    QByteArray garbage(1 << 20, '\0');
    for (char& b : garbage)
        b = static_cast<char>(random() % 255 + 1);
    garbage.replace('\n', 'x');

    QTest::newRow("empty") << QByteArray() << "not a point count";
    QTest::newRow("binary garbage without a line end") << garbage << "not a point count";
    QTest::newRow("first line is a point") << QByteArray("1 2 3 0 4 5 6\n") << "not a point count";
    QTest::newRow("negative count") << QByteArray("-4\n1 2 3\n") << "not a point count";
    QTest::newRow("count only") << QByteArray("3\n") << "3 points short";
    QTest::newRow("count zero") << QByteArray("0\n1 2 3\n") << "1 lines beyond";
    QTest::newRow("count zero and nothing else") << QByteArray("0") << "no points";
    QTest::newRow("count zero, blank lines after it") << QByteArray("0\n\n \t\n") << "no points";
}

void TestPtsReader::refusals()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, reason);
    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    QString message;
    QVERIFY(!readText(text, *v, *c, &message));
    QVERIFY(v->empty() && c->empty());
    QVERIFY2(message.contains(reason), qPrintable(message));
}

void TestPtsReader::hugeDeclaredCountDoesNotReserveIt()
{
    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    QVERIFY(readText("999999999999999999\n1 2 3\n", *v, *c));
    QCOMPARE(int(v->size()), 1);
    QVERIFY(v->capacity() < 100 && c->capacity() < 100);
}

void TestPtsReader::realFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("count");
    QTest::addColumn<osg::Vec3>("firstVertex");
    QTest::addColumn<osg::Vec4>("firstColour");
    QTest::addColumn<osg::Vec4>("lastColour");

    QTest::newRow("seven columns, negative intensity")
        << "pdal_test.pts" << 19 << osg::Vec3(3.980972f, -2.006119f, -0.010086f) << rgb(97, 59, 38)
        << rgb(17, 13, 12);
    QTest::newRow("projected coordinates")
        << "pdal_autzen.pts" << 10 << osg::Vec3(636110.300003f, 849345.050003f, 512.139999f)
        << rgb(52, 70, 64) << rgb(114, 127, 100);
    QTest::newRow("four columns") << "pdal_site_56_8.pts" << 8
                                  << osg::Vec3(6691.797611f, 17.347517f, 1203.033447f) << grey << grey;
    QTest::newRow("three columns, one line past the count")
        << "pdal_bunny_8.pts" << 8 << osg::Vec3(-0.037829f, 0.12794f, 0.004474f) << grey << grey;
}

void TestPtsReader::realFiles()
{
    QFETCH(QString, file);
    QFETCH(int, count);
    QFETCH(osg::Vec3, firstVertex);
    QFETCH(osg::Vec4, firstColour);
    QFETCH(osg::Vec4, lastColour);

    REQUIRE_SHARED_DATA();
    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    QVERIFY(PtsReader::readPts(SharedData::path("pts/") + file, *v, *c));
    QCOMPARE(int(v->size()), count);
    QCOMPARE(int(c->size()), count);
    QCOMPARE(v->front(), firstVertex);
    QCOMPARE(c->front(), firstColour);
    QCOMPARE(c->back(), lastColour);
}

QTEST_GUILESS_MAIN(TestPtsReader)
#include "tst_ptsreader.moc"
