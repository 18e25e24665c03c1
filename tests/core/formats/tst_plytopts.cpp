#include "core/formats/PlyReader.h"
#include "core/formats/PlyToPts.h"
#include "core/formats/PtsReader.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>
#include "SharedData.h"

class TestPlyToPts : public QObject
{
    Q_OBJECT
private slots:
    void outputName_data();
    void outputName();
    void tokensCopied_data();
    void tokensCopied();
    void nameWithoutPlyIsRefused();
    void realCloudReadsBackTheSame_data();
    void realCloudReadsBackTheSame();
};

void TestPlyToPts::outputName_data()
{
    QTest::addColumn<QString>("ply");
    QTest::addColumn<QString>("pts");
    QTest::newRow("plain") << "/site/cloud.ply"
                           << "/site/cloud.pts";
    QTest::newRow("every occurrence in the name") << "/site/reply.ply"
                                                  << "/site/repts.pts";
    QTest::newRow("folders keep their names") << "/site/plyfiles/cloud.ply"
                                              << "/site/plyfiles/cloud.pts";
    QTest::newRow("case-sensitive") << "/site/SCAN.PLY"
                                    << "/site/SCAN.PLY";
}

void TestPlyToPts::outputName()
{
    QFETCH(QString, ply);
    QFETCH(QString, pts);
    QCOMPARE(PlyToPts::outputName(ply), pts);
}

void TestPlyToPts::tokensCopied_data()
{
    QTest::addColumn<QByteArray>("ply");
    QTest::addColumn<QByteArray>("pts");

    QTest::newRow("VCG with normals and alpha")
        << QByteArray(
               "ply\nformat ascii 1.0\ncomment VCGLIB generated\nelement vertex 2\nproperty float x\n"
               "property float y\nproperty float z\nproperty float nx\nproperty float ny\nproperty float nz\n"
               "property uchar red\nproperty uchar green\nproperty uchar blue\nproperty uchar alpha\n"
               "element face 0\nproperty list uchar int vertex_indices\nend_header\n"
               "0.195187 1.16143 -3.20988 -0.598642 -0.609322 0.519956 141 137 141 255 \n"
               "1e-05 -0 7 0 0 1 0 1 2 255 \n")
        << QByteArray("2\n0.195187 1.16143 -3.20988 0 141 137 141\n1e-05 -0 7 0 0 1 2");
    QTest::newRow("Bundler: faces first, diffuse colours")
        << QByteArray(
               "ply\nformat ascii 1.0\nelement face 0\nproperty list uchar int vertex_indices\n"
               "element vertex 1\nproperty float x\nproperty float y\nproperty float z\n"
               "property uchar diffuse_red\nproperty uchar diffuse_green\nproperty uchar diffuse_blue\n"
               "end_header\n-5.421456e-01 5.781371e-01 -3.377729e+00 135 189 173\n")
        << QByteArray("1\n-5.421456e-01 5.781371e-01 -3.377729e+00 0 135 189 173");
    QTest::newRow("x y z only")
        << QByteArray("ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\n"
                      "property float z\nend_header\n1 2 3\n")
        << QByteArray("1\n1 2 3 0");
    QTest::newRow("a broken line is left out of the count")
        << QByteArray("ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                      "property float z\nend_header\n1 2 3\n4 five 6\n7 8 9\n")
        << QByteArray("2\n1 2 3 0\n7 8 9 0");
}

void TestPlyToPts::tokensCopied()
{
    QFETCH(QByteArray, ply);
    QFETCH(QByteArray, pts);
    QBuffer buffer;
    buffer.setData(ply);
    buffer.open(QIODevice::ReadOnly);
    QByteArray out;
    QVERIFY(PlyToPts::convert(buffer, out));
    QCOMPARE(out, pts);
}

void TestPlyToPts::nameWithoutPlyIsRefused()
{
    QTemporaryDir dir;
    const QString name = dir.filePath("SCAN.PLY");
    QFile file(name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\n"
               "property float z\nend_header\n1 2 3\n");
    file.close();
    QString message;
    QVERIFY(!PlyToPts::convert(name, &message));
    QVERIFY(message.contains("no \"ply\""));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().startsWith("ply\n"));
}

void TestPlyToPts::realCloudReadsBackTheSame_data()
{
    QTest::addColumn<QString>("source");
    QTest::addColumn<int>("count");
    QTest::newRow("MeshLab cloud") << SharedData::path("ply/kermit_pmvs_meshlab_ascii.ply") << 10003;
    QTest::newRow("sample site") << QStringLiteral(ORVALIS_SOURCE_DIR "/samples/trench_site.ply") << 60000;
}

void TestPlyToPts::realCloudReadsBackTheSame()
{
    QFETCH(QString, source);
    QFETCH(int, count);
    REQUIRE_SHARED_DATA_FOR(source);
    QTemporaryDir dir;
    const QString ply = dir.filePath("cloud.ply");
    QVERIFY(QFile::copy(source, ply));
    QVERIFY(PlyToPts::convert(ply));

    osg::ref_ptr<osg::Vec3Array> v1 = new osg::Vec3Array, v2 = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c1 = new osg::Vec4Array, c2 = new osg::Vec4Array;
    QVERIFY(PlyReader::readPly(ply, *v1, *c1));
    QVERIFY(PtsReader::readPts(dir.filePath("cloud.pts"), *v2, *c2));
    QCOMPARE(int(v2->size()), count);
    QVERIFY(*v1 == *v2);
    QVERIFY(*c1 == *c2);
}

QTEST_GUILESS_MAIN(TestPlyToPts)
#include "tst_plytopts.moc"
