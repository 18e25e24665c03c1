#include "core/formats/PlyHeader.h"
#include "core/formats/PlyReader.h"
#include "core/io/TextLineReader.h"

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
        [](QIODevice& d, osg::Vec3Array& a, osg::Vec4Array& b, QString* m) { return PlyReader::readPly(d, a, b, m); }, text, v, c,
        message);
}

bool fuzzyEqual(const osg::Vec3& a, const osg::Vec3& b)
{
    return qFuzzyCompare(a.x() + 1000, b.x() + 1000) && qFuzzyCompare(a.y() + 1000, b.y() + 1000) &&
           qFuzzyCompare(a.z() + 1000, b.z() + 1000);
}

const QByteArray fixedHeader14 =
    "ply\nformat ascii 1.0\ncomment VCGLIB generated\nelement vertex 2\n"
    "property float x\nproperty float y\nproperty float z\n"
    "property uchar red\nproperty uchar green\nproperty uchar blue\nproperty uchar alpha\n"
    "element face 0\nproperty list uchar int vertex_indices\nend_header\n";

} // namespace

class TestPlyReader : public QObject
{
    Q_OBJECT
private slots:
    void layouts_data();
    void layouts();
    void refusals_data();
    void refusals();
    void truncatedKeepsWholeLines();
    void hugeDeclaredCountDoesNotReserveIt();
    void binaryGarbageAfterHeader();
    void realFiles_data();
    void realFiles();
    void pmvsAndMeshLabCopiesAgree();
    void headerLeavesTheTextAlone_data();
    void headerLeavesTheTextAlone();
};

void TestPlyReader::layouts_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("count");
    QTest::addColumn<osg::Vec3>("lastVertex");
    QTest::addColumn<osg::Vec4>("lastColour");

    QTest::newRow("14-line VCG header") << fixedHeader14 + "1 2 3 255 0 0 255\n4.5 -5e-1 6 0 128 255 255" << 2
                                        << osg::Vec3(4.5f, -0.5f, 6) << rgb(0, 128, 255);
    QTest::newRow("17-line VCG header with normals")
        << QByteArray("ply\nformat ascii 1.0\ncomment VCGLIB generated\nelement vertex 2\n"
                      "property float x\nproperty float y\nproperty float z\n"
                      "property float nx\nproperty float ny\nproperty float nz\n"
                      "property uchar red\nproperty uchar green\nproperty uchar blue\nproperty uchar alpha\n"
                      "element face 0\nproperty list uchar int vertex_indices\nend_header\n"
                      "1 2 3 0 0 1 10 20 30 255 \n7 8 9 0.5 0.5 0.7 40 50 60 255 \n")
        << 2 << osg::Vec3(7, 8, 9) << rgb(40, 50, 60);
    QTest::newRow("PMVS: no comment, diffuse colours")
        << QByteArray(
               "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\n"
               "property float z\nproperty float nx\nproperty float ny\nproperty float nz\n"
               "property uchar diffuse_red\nproperty uchar diffuse_green\nproperty uchar diffuse_blue\n"
               "end_header\n0.1 0.2 0.3 1 0 0 141 137 140\n")
        << 1 << osg::Vec3(0.1f, 0.2f, 0.3f) << rgb(141, 137, 140);
    QTest::newRow("face element with lines before the vertices")
        << QByteArray("ply\nformat ascii 1.0\nelement face 2\nproperty list uchar int vertex_indices\n"
                      "element vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
                      "property uchar red\nproperty uchar green\nproperty uchar blue\nend_header\n"
                      "3 0 1 2\n3 2 1 0\n0 0 0 1 1 1\n1 0 0 2 2 2\n0 1 0 3 4 5\n")
        << 3 << osg::Vec3(0, 1, 0) << rgb(3, 4, 5);
    QTest::newRow("x y z only is grey")
        << QByteArray("ply\nformat ascii 1.0\nelement vertex 2\nproperty float x\nproperty float y\n"
                      "property float z\nend_header\n1 1 1\n2 2 2\n")
        << 2 << osg::Vec3(2, 2, 2) << grey;
    QTest::newRow("extra comments, obj_info, blank data lines")
        << QByteArray("ply\nformat ascii 1.0\ncomment one\ncomment two\nobj_info scanner\nelement vertex 2\n"
                      "comment inside\nproperty double x\nproperty double y\nproperty double z\n"
                      "property uchar red\nproperty uchar green\nproperty uchar blue\nend_header\n\n"
                      "1 2 3 1 2 3\n\n\t4\t5\t6\t7\t8\t9\n")
        << 2 << osg::Vec3(4, 5, 6) << rgb(7, 8, 9);
    QTest::newRow("Windows line ends")
        << QByteArray(fixedHeader14).replace("\n", "\r\n") + "1 2 3 255 0 0 255\r\n4 5 6 9 9 9 255\r\n"
        << 2 << osg::Vec3(4, 5, 6) << rgb(9, 9, 9);
    QTest::newRow("colour before position, unknown properties skipped")
        << QByteArray("ply\nformat ascii 1.0\nelement vertex 1\nproperty uchar red\nproperty uchar green\n"
                      "property uchar blue\nproperty float confidence\nproperty float x\nproperty float y\n"
                      "property float z\nproperty float intensity\nend_header\n9 8 7 0.25 1 2 3 55\n")
        << 1 << osg::Vec3(1, 2, 3) << rgb(9, 8, 7);
    QTest::newRow("control character inside a skipped column")
        << QByteArray("ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\n"
                      "property float z\nproperty float note\nproperty uchar red\nproperty uchar green\n"
                      "property uchar blue\nend_header\n1 2 3 abc\x01"
                      "defghijklmnop 9 8 7\n")
        << 1 << osg::Vec3(1, 2, 3) << rgb(9, 8, 7);
    QTest::newRow("float colours are already 0..1")
        << QByteArray("ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\n"
                      "property float z\nproperty float red\nproperty float green\nproperty float blue\n"
                      "end_header\n1 2 3 0.5 0.25 1\n")
        << 1 << osg::Vec3(1, 2, 3) << osg::Vec4(0.5f, 0.25f, 1, 1);
    QTest::newRow("lines after the vertices are not points")
        << QByteArray(fixedHeader14).replace("face 0", "face 1") +
               "1 2 3 4 5 6 255\n1 1 1 1 1 1 255\n3 0 1 2\n"
        << 2 << osg::Vec3(1, 1, 1) << rgb(1, 1, 1);
}

void TestPlyReader::layouts()
{
    QFETCH(QByteArray, text);
    QFETCH(int, count);
    QFETCH(osg::Vec3, lastVertex);
    QFETCH(osg::Vec4, lastColour);

    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    QString message;
    QVERIFY2(readText(text, *v, *c, &message), qPrintable(message));
    QCOMPARE(int(v->size()), count);
    QCOMPARE(int(c->size()), count);
    QVERIFY(fuzzyEqual(v->back(), lastVertex));
    QCOMPARE(c->back(), lastColour);
    QVERIFY2(message.isEmpty(), qPrintable(message));
}

void TestPlyReader::refusals_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("reason");

    QTest::newRow("empty file") << QByteArray() << "not a PLY file";
    QTest::newRow("binary garbage") << QByteArray("\x7f\x45\x4c\x46\x02\x01\x01\0\0\0", 10)
                                    << "not a PLY file";
    QTest::newRow("binary little endian")
        << QByteArray(fixedHeader14).replace("ascii", "binary_little_endian") + QByteArray(40, '\0')
        << "binary PLY";
    QTest::newRow("binary big endian")
        << QByteArray(fixedHeader14).replace("ascii", "binary_big_endian") << "binary PLY";
    QTest::newRow("no end_header") << QByteArray(
                                          "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\n")
                                   << "no end_header";
    QTest::newRow("no vertex element")
        << QByteArray(
               "ply\nformat ascii 1.0\nelement face 0\nproperty list uchar int vertex_indices\nend_header\n")
        << "no vertex element";
    QTest::newRow("no z") << QByteArray("ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\n"
                                        "property float y\nend_header\n1 2\n")
                          << "lacks x, y or z";
    QTest::newRow("list on vertices")
        << QByteArray("ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\n"
                      "property float z\nproperty list uchar float extra\nend_header\n1 2 3 0\n")
        << "list property";
    QTest::newRow("unknown keyword") << QByteArray("ply\nformat ascii 1.0\nelemnt vertex 1\nend_header\n")
                                     << "unknown keyword";
    QTest::newRow("count is not a number")
        << QByteArray("ply\nformat ascii 1.0\nelement vertex many\nproperty float x\nend_header\n")
        << "bad element line";
    QTest::newRow("unknown property type")
        << QByteArray("ply\nformat ascii 1.0\nelement vertex 1\nproperty vec3 x\nend_header\n")
        << "bad property line";
    QTest::newRow("no format line") << QByteArray(
                                           "ply\nelement vertex 1\nproperty float x\nproperty float y\n"
                                           "property float z\nend_header\n1 2 3\n")
                                    << "no format line";
    QTest::newRow("header only, no points") << fixedHeader14 << "file ends after 0 of 2";
    QTest::newRow("element counts before the vertices overflow")
        << "ply\nformat ascii 1.0\n" + QByteArray("element a 999999999999999999\n").repeated(12) +
               "element vertex 1\nproperty float x\nproperty float y\nproperty float z\nend_header\n1 2 3\n"
        << "element counts too large";
    QTest::newRow("vertex count zero") << QByteArray(fixedHeader14).replace("vertex 2", "vertex 0")
                                       << "no vertices";
    QTest::newRow("vertex lines are words")
        << fixedHeader14 + "one two three four five six seven\nx y z r g b a\n"
        << "not numbers";
}

void TestPlyReader::refusals()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, reason);

    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    QString message;
    QVERIFY(!readText(text, *v, *c, &message));
    QVERIFY(v->empty());
    QVERIFY(c->empty());
    QVERIFY2(message.contains(reason), qPrintable(message));
}

void TestPlyReader::truncatedKeepsWholeLines()
{
    QByteArray text = fixedHeader14;
    text.replace("vertex 2", "vertex 5");
    text += "1 2 3 4 5 6 255\n7 8 9 10 11 12 255\n13 14";
    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    QString message;
    QVERIFY(readText(text, *v, *c, &message));
    QCOMPARE(int(v->size()), 2);
    QCOMPARE(v->back(), osg::Vec3(7, 8, 9));
    QVERIFY2(message.contains("file ends after 3 of 5"), qPrintable(message));
    QVERIFY2(message.contains("1 vertex lines"), qPrintable(message));
}

void TestPlyReader::hugeDeclaredCountDoesNotReserveIt()
{
    QByteArray text = fixedHeader14;
    text.replace("vertex 2", "vertex 900000000000000");
    text += "1 2 3 4 5 6 255\n";
    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    QVERIFY(readText(text, *v, *c));
    QCOMPARE(int(v->size()), 1);
    QVERIFY(v->capacity() < 100);
    QVERIFY(c->capacity() < 100);
}

void TestPlyReader::binaryGarbageAfterHeader()
{
    // A header that promises ASCII in front of random bytes: nothing may be
    // read as a point unless a line really holds numbers.
    std::mt19937 random(5);
    QByteArray garbage(1 << 20, '\0');
    for (char& b : garbage)
        b = static_cast<char>(random());
    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    QString message;
    readText(QByteArray(fixedHeader14).replace("vertex 2", "vertex 100000") + garbage, *v, *c, &message);
    QVERIFY(!message.isEmpty());
    QVERIFY(v->size() < 10);
    QCOMPARE(v->size(), c->size());
}

void TestPlyReader::realFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("count");
    QTest::addColumn<osg::Vec3>("firstVertex");
    QTest::addColumn<osg::Vec4>("firstColour");
    QTest::addColumn<osg::Vec3>("lastVertex");

    QTest::newRow("Bundler, face element first")
        << "kermit_bundler_points010.ply" << 1023 << osg::Vec3(-0.5421456f, 0.5781371f, -3.377729f)
        << rgb(135, 189, 173) << osg::Vec3(-2.079334f, -0.9337585f, -1.662301f);
    QTest::newRow("MeshLab with normals and alpha")
        << "kermit_pmvs_meshlab_ascii.ply" << 10003 << osg::Vec3(0.195187f, 1.16143f, -3.20988f)
        << rgb(141, 137, 141) << osg::Vec3();
    QTest::newRow("PMVS diffuse colours")
        << "kermit_pmvs_option-0000.ply" << 10003 << osg::Vec3(0.195187f, 1.16143f, -3.20988f)
        << rgb(141, 137, 141) << osg::Vec3();
    QTest::newRow("MeshLab normals of a VisualSfM cloud")
        << "sceaux_meshlab_normals_ascii.ply" << 7817 << osg::Vec3(-0.377804f, -0.529776f, 11.3358f)
        << rgb(134, 149, 148) << osg::Vec3();
    // The shipped sample, so a clone without the reference files reads a real VCG layout too.
    QTest::newRow("sample site") << QStringLiteral(ORVALIS_SOURCE_DIR "/samples/trench_site.ply") << 60000
                                 << osg::Vec3(17.1959f, 7.88603f, 0.7482f) << rgb(126, 101, 81)
                                 << osg::Vec3(10.0258f, 11.1121f, 0.544107f);
    QTest::newRow("mesh: vertices only, faces after them")
        << "trimesh_fuze_ascii_vcg.ply" << 502 << osg::Vec3(0.002047f, -0.002871f, 0.004031f)
        << rgb(192, 192, 192) << osg::Vec3();
    QTest::newRow("x y z only") << "trimesh_points_emptyascii_vcg.ply" << 12
                                << osg::Vec3(-0.010441f, -0.013788f, 0.0382f) << grey << osg::Vec3();
}

void TestPlyReader::realFiles()
{
    QFETCH(QString, file);
    QFETCH(int, count);
    QFETCH(osg::Vec3, firstVertex);
    QFETCH(osg::Vec4, firstColour);
    QFETCH(osg::Vec3, lastVertex);

    const QString path = file.startsWith('/') ? file : SharedData::path("ply/") + file;
    REQUIRE_SHARED_DATA_FOR(path);
    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    QString message;
    QVERIFY2(PlyReader::readPly(path, *v, *c, &message),
             qPrintable(message));
    QVERIFY2(message.isEmpty(), qPrintable(message));
    QCOMPARE(int(v->size()), count);
    QCOMPARE(int(c->size()), count);
    QVERIFY(fuzzyEqual(v->front(), firstVertex));
    QCOMPARE(c->front(), firstColour);
    if (lastVertex != osg::Vec3())
        QVERIFY(fuzzyEqual(v->back(), lastVertex));
    for (const osg::Vec4& colour : *c)
        QCOMPARE(colour.a(), 1.0f);
}

void TestPlyReader::pmvsAndMeshLabCopiesAgree()
{
    // MeshLab rewrote the PMVS file with another header: every point and
    // colour must come out the same through both layouts.
    REQUIRE_SHARED_DATA();
    osg::ref_ptr<osg::Vec3Array> v1 = new osg::Vec3Array, v2 = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c1 = new osg::Vec4Array, c2 = new osg::Vec4Array;
    QVERIFY(PlyReader::readPly(SharedData::path("ply/kermit_pmvs_option-0000.ply"), *v1, *c1));
    QVERIFY(PlyReader::readPly(SharedData::path("ply/kermit_pmvs_meshlab_ascii.ply"), *v2, *c2));
    QCOMPARE(v1->size(), v2->size());
    for (size_t i = 0; i < v1->size(); ++i) {
        QVERIFY2(fuzzyEqual((*v1)[i], (*v2)[i]), qPrintable(QString::number(i)));
        QCOMPARE((*c1)[i], (*c2)[i]);
    }
}

QTEST_GUILESS_MAIN(TestPlyReader)
// The header is parsed from lines the line reader hands out as const views of
// the caller's text; tidying their blanks must not write into that text.
void TestPlyReader::headerLeavesTheTextAlone_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("valid");

    QTest::newRow("doubled blanks in header lines")
        << QByteArray(fixedHeader14).replace("element vertex 2", "element  vertex   2") << true;
    QTest::newRow("tabs and trailing blanks")
        << QByteArray(fixedHeader14).replace("property float x", "property\tfloat x \t") << true;
    QTest::newRow("not a PLY: first line of numbers with doubled blanks")
        << QByteArray("-1.078964 -1311319  8\n1 2  3\n") << false;
    QTest::newRow("blank-padded magic line") << QByteArray("  ply  \n format  ascii 1.0\n") << false;
}

void TestPlyReader::headerLeavesTheTextAlone()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, valid);

    const QByteArray original(text.constData(), text.size()); // a copy of its own
    TextLineReader lines(text.constData(), text.constData() + text.size());
    PlyHeader header;
    QString error;
    QCOMPARE(PlyHeader::read(lines, header, error), valid);
    QCOMPARE(text, original);
}

#include "tst_plyreader.moc"
