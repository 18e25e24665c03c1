#include "core/formats/PlyReader.h"
#include "core/formats/PtsReader.h"
#include "core/formats/PtsToPly.h"
#include "SharedData.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

namespace
{

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestPtsToPly : public QObject
{
    Q_OBJECT
private slots:
    void outputName_data()
    {
        QTest::addColumn<QString>("pts");
        QTest::addColumn<QString>("ply");
        QTest::newRow("plain") << "/data/cloud.pts"
                               << "/data/cloud.ply";
        QTest::newRow("pts in a folder name stays") << "/data/pts_scans/cloud.pts"
                                                    << "/data/pts_scans/cloud.ply";
        QTest::newRow("pts inside the name stays") << "/data/ptsite.pts"
                                                   << "/data/ptsite.ply";
        QTest::newRow("upper-case extension") << "/data/SCAN.PTS"
                                              << "/data/SCAN.ply";
        QTest::newRow("no extension, dotted folder") << "/data/v1.2/scan"
                                                     << "/data/v1.2/scan.ply";
    }
    void outputName()
    {
        QFETCH(QString, pts);
        QFETCH(QString, ply);
        QCOMPARE(PtsToPly::outputName(pts), ply);
    }

    void linesBecomeVertices_data()
    {
        QTest::addColumn<QByteArray>("pts");
        QTest::addColumn<QByteArray>("vertices");
        QTest::addColumn<QString>("note");
        QTest::newRow("seven columns: colour kept, intensity dropped")
            << QByteArray("2\n512000.125 4100000.5 12.25 -1200 10 20 30\n1 2 3 5 255 0 7\n")
            << QByteArray("512000.125 4100000.5 12.25 10 20 30 255\n1 2 3 255 0 7 255\n") << "";
        QTest::newRow("no colour columns: grey")
            << QByteArray("2\n1 2 3 400\n4 5 6\n")
            << QByteArray("1 2 3 128 128 128 255\n4 5 6 128 128 128 255\n") << "";
        QTest::newRow("two scans, each after its count")
            << QByteArray("1\n1 2 3 0 1 2 3\n\n1\n4 5 6 0 4 5 6\n")
            << QByteArray("1 2 3 1 2 3 255\n4 5 6 4 5 6 255\n") << "";
        QTest::newRow("colours out of range are clamped")
            << QByteArray("1\n1 2 3 0 -5 300 12.6\n") << QByteArray("1 2 3 0 255 13 255\n") << "";
        QTest::newRow("bad lines skipped and told")
            << QByteArray("3\n1 2 3\nnot a point\n4 5 6\n")
            << QByteArray("1 2 3 128 128 128 255\n4 5 6 128 128 128 255\n")
            << "1 lines are not points (first: line 3)";
        QTest::newRow("short of its count")
            << QByteArray("5\n1 2 3\n") << QByteArray("1 2 3 128 128 128 255\n")
            << "file ends 4 points short of its count";
    }
    void linesBecomeVertices()
    {
        QFETCH(QByteArray, pts);
        QFETCH(QByteArray, vertices);
        QFETCH(QString, note);
        QBuffer in(&pts);
        in.open(QIODevice::ReadOnly);
        QByteArray ply;
        QBuffer out(&ply);
        out.open(QIODevice::WriteOnly);
        QString message;
        QVERIFY2(PtsToPly::convert(in, out, &message), qPrintable(message));
        QCOMPARE(message, note);
        const int lines = vertices.count('\n');
        const QByteArray header =
            "ply\nformat ascii 1.0\ncomment VCGLIB generated\nelement vertex " + QByteArray::number(lines) +
            "\nproperty float x\nproperty float y\nproperty float z\nproperty uchar red\n"
            "property uchar green\nproperty uchar blue\nproperty uchar alpha\nelement face 0\n"
            "property list uchar int vertex_indices\nend_header\n";
        QCOMPARE(ply, header + vertices);
    }

    // The converted scan reads back as the scan itself.
    void realScanReadsBackTheSame_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("x y z i r g b") << "pts/pdal_test.pts";
        QTest::newRow("survey coordinates") << "pts/pdal_autzen.pts";
        QTest::newRow("no colour") << "pts/pdal_site_56_8.pts";
        QTest::newRow("more lines than its count") << "pts/pdal_bunny_8.pts";
    }
    void realScanReadsBackTheSame()
    {
        QFETCH(QString, file);
        REQUIRE_SHARED_DATA();
        QTemporaryDir dir;
        const QString pts = dir.filePath("scan.pts");
        QVERIFY(QFile::copy(SharedData::path(file), pts));
        QVERIFY(PtsToPly::convert(pts));
        osg::ref_ptr<osg::Vec3Array> v1 = new osg::Vec3Array, v2 = new osg::Vec3Array;
        osg::ref_ptr<osg::Vec4Array> c1 = new osg::Vec4Array, c2 = new osg::Vec4Array;
        QVERIFY(PtsReader::readPts(pts, *v1, *c1));
        QVERIFY(PlyReader::readPly(dir.filePath("scan.ply"), *v2, *c2));
        QCOMPARE(v2->size(), v1->size());
        for (size_t i = 0; i < v1->size(); ++i) {
            QCOMPARE((*v2)[i], (*v1)[i]);
            QVERIFY(((*c2)[i] - (*c1)[i]).length() < 1.0f / 255);
        }
    }

    // Through QSaveFile: a conversion that fails leaves the old PLY whole.
    void failedConversionKeepsTheOldFile_data()
    {
        QTest::addColumn<QByteArray>("pts");
        QTest::addColumn<bool>("converts");
        QTest::newRow("no count line") << QByteArray("1 2 3 0 1 2 3\n") << false;
        QTest::newRow("no points") << QByteArray("2\nx y z\n") << false;
        QTest::newRow("good scan replaces it") << QByteArray("1\n1 2 3\n") << true;
    }
    void failedConversionKeepsTheOldFile()
    {
        QFETCH(QByteArray, pts);
        QFETCH(bool, converts);
        QTemporaryDir dir;
        QVERIFY(writeFile(dir.filePath("cloud.pts"), pts));
        QVERIFY(writeFile(dir.filePath("cloud.ply"), "the old cloud"));
        QString message;
        QCOMPARE(PtsToPly::convert(dir.filePath("cloud.pts"), &message), converts);
        QCOMPARE(readFile(dir.filePath("cloud.ply")) == "the old cloud", !converts);
        QCOMPARE(message.isEmpty(), converts);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files).size(), 2); // no temporary left behind
    }
};

QTEST_GUILESS_MAIN(TestPtsToPly)
#include "tst_ptstoply.moc"
