#include "core/formats/PlyKind.h"

#include <QBuffer>
#include <QtTest>
#include "SharedData.h"

class TestPlyKind : public QObject
{
    Q_OBJECT
private slots:
    void headers_data();
    void headers();
    void realFiles_data();
    void realFiles();
};

void TestPlyKind::headers_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("kind");

    const QByteArray vertices =
        "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
        "property float z\n";
    QTest::newRow("face 0") << vertices +
                                   "element face 0\nproperty list uchar int vertex_indices\nend_header\n"
                            << "PointCloud";
    QTest::newRow("face 12") << vertices +
                                    "element face 12\nproperty list uchar int vertex_indices\nend_header\n"
                             << "Mesh";
    QTest::newRow("no face element") << vertices + "end_header\n"
                                     << "PointCloud";
    QTest::newRow("face before vertex")
        << QByteArray("ply\nformat ascii 1.0\nelement face 1\nelement vertex 3\nend_header\n") << "Mesh";
    QTest::newRow("binary mesh") << QByteArray("ply\nformat binary_little_endian 1.0\nelement vertex 3\n"
                                               "element face 1\nend_header\n\x01\x02\x03")
                                 << "Mesh";
    QTest::newRow("Windows line ends, extra blanks")
        << QByteArray("ply\r\nelement   face  5 \r\nend_header\r\n") << "Mesh";
    QTest::newRow("face word after end_header") << vertices + "end_header\nelement face 9\n"
                                                << "PointCloud";
    QTest::newRow("face count not a number") << vertices + "element face many\nend_header\n"
                                             << "PointCloud";
    QTest::newRow("empty") << QByteArray() << "PointCloud";
    QTest::newRow("no line ends at all") << QByteArray(1 << 20, 'x') << "PointCloud";
}

void TestPlyKind::headers()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, kind);
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    QCOMPARE(PlyKind::kindOfPly(buffer), kind);
}

void TestPlyKind::realFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("kind");
    QTest::newRow("VCG mesh with 1000 faces") << "trimesh_fuze_ascii_vcg.ply"
                                              << "Mesh";
    QTest::newRow("Bundler, face 0 first") << "kermit_bundler_points010.ply"
                                           << "PointCloud";
    QTest::newRow("MeshLab cloud") << "kermit_pmvs_meshlab_ascii.ply"
                                   << "PointCloud";
    QTest::newRow("PMVS cloud") << "kermit_pmvs_option-0000.ply"
                                << "PointCloud";
    QTest::newRow("missing file") << "no-such-file.ply"
                                  << "PointCloud";
}

void TestPlyKind::realFiles()
{
    QFETCH(QString, file);
    QFETCH(QString, kind);
    REQUIRE_SHARED_DATA();
    QCOMPARE(PlyKind::kindOfPly(SharedData::path("ply/") + file), kind);
}

QTEST_GUILESS_MAIN(TestPlyKind)
#include "tst_plykind.moc"
