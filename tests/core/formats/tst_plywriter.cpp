#include "core/formats/PlyReader.h"
#include "core/formats/PlyWriter.h"
#include "core/formats/PointShift.h"
#include "core/io/StreamFloatFormat.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include "PointArrays.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>

namespace
{

using pointarrays::makeColours;
using pointarrays::makeVertices;

const QByteArray header = "ply\nformat ascii 1.0\ncomment VCGLIB generated\nelement vertex %1\n"
                          "property float x\nproperty float y\nproperty float z\nproperty uchar red\n"
                          "property uchar green\nproperty uchar blue\nproperty uchar alpha\nelement face 0\n"
                          "property list uchar int vertex_indices\nend_header\n";

QByteArray headerFor(int count)
{
    return QByteArray(header).replace("%1", QByteArray::number(count));
}

std::string streamed(float value)
{
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << value;
    return out.str();
}

std::string formatted(float value)
{
    char text[StreamFloatFormat::maxLength + 1];
    return std::string(text, StreamFloatFormat::write(text, value));
}

} // namespace

class TestPlyWriter : public QObject
{
    Q_OBJECT
private slots:
    void oneVertexFile();
    void emptyCloudIsHeaderOnly();
    void colourBytes_data();
    void colourBytes();
    void floatsAsAStreamPrintsThem_data();
    void floatsAsAStreamPrintsThem();
    void floatsOfEveryMagnitude();
    void readBackGivesSamePoints();
    void surveyCloudWrittenAsItWasRead();
    void earlierFilesReadTheSame();
    void unwritableTargetFails();
};

void TestPlyWriter::oneVertexFile()
{
    osg::ref_ptr<osg::Vec3Array> v = makeVertices({osg::Vec3(1.5f, -2, 1234567)});
    osg::ref_ptr<osg::Vec4Array> c = makeColours({osg::Vec4(1, 0.5f, 0, 1)});
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(PlyWriter::writePly(buffer, *v, *c));
    QCOMPARE(buffer.data(), headerFor(1) + "1.5 -2 1234567 255 127 0 255");
}

void TestPlyWriter::emptyCloudIsHeaderOnly()
{
    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QVERIFY(PlyWriter::writePly(buffer, *v, *c));
    QCOMPARE(buffer.data(), headerFor(0));
}

void TestPlyWriter::colourBytes_data()
{
    QTest::addColumn<float>("channel");
    QTest::addColumn<int>("byte");
    QTest::newRow("0.999 truncates") << 0.999f << 254;
    QTest::newRow("1.0") << 1.0f << 255;
    QTest::newRow("0") << 0.0f << 0;
    QTest::newRow("0.5") << 0.5f << 127;
    QTest::newRow("a byte read back") << float(128 / 255.0) << 128;
    QTest::newRow("below 0 clamps") << -0.2f << 0;
    QTest::newRow("above 1 clamps") << 1.7f << 255;
    QTest::newRow("NaN") << std::numeric_limits<float>::quiet_NaN() << 0;
}

void TestPlyWriter::colourBytes()
{
    QFETCH(float, channel);
    QFETCH(int, byte);
    QCOMPARE(PlyWriter::channelByte(channel), byte);
}

void TestPlyWriter::floatsAsAStreamPrintsThem_data()
{
    QTest::addColumn<float>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero") << 0.0f << "0";
    QTest::newRow("negative zero") << -0.0f << "-0";
    QTest::newRow("integer") << 42.0f << "42";
    QTest::newRow("six digits") << 123456.0f << "123456";
    QTest::newRow("seven digits go scientific") << 1234567.0f << "1.23457e+06";
    QTest::newRow("tie rounds to even") << 1234565.0f << "1.23456e+06";
    QTest::newRow("rounds up into the next decade") << 999999.5f << "1e+06";
    QTest::newRow("trailing zeros dropped") << 0.5f << "0.5";
    QTest::newRow("small fixed") << 0.0001f << "0.0001";
    QTest::newRow("small scientific") << 0.00001f << "1e-05";
    QTest::newRow("float noise hidden") << 0.1f << "0.1";
    QTest::newRow("negative") << -863.725f << "-863.725";
    QTest::newRow("largest float") << std::numeric_limits<float>::max() << "3.40282e+38";
    QTest::newRow("smallest normal") << std::numeric_limits<float>::min() << "1.17549e-38";
    QTest::newRow("subnormal") << std::numeric_limits<float>::denorm_min() << "1.4013e-45";
    QTest::newRow("infinity") << std::numeric_limits<float>::infinity() << "inf";
    QTest::newRow("minus infinity") << -std::numeric_limits<float>::infinity() << "-inf";
}

void TestPlyWriter::floatsAsAStreamPrintsThem()
{
    QFETCH(float, value);
    QFETCH(QString, text);
    QCOMPARE(QString::fromStdString(formatted(value)), text);
    QCOMPARE(QString::fromStdString(formatted(value)), QString::fromStdString(streamed(value)));
}

void TestPlyWriter::floatsOfEveryMagnitude()
{
    // Random bit patterns cover every exponent; decimals near 6-digit
    // rounding ties and whole numbers cover the hard cases of the fast path.
    std::mt19937 random(11);
    for (int i = 0; i < 200000; ++i) {
        const quint32 bits = random();
        float value;
        std::memcpy(&value, &bits, 4);
        if (std::isnan(value))
            continue;
        QCOMPARE(formatted(value), streamed(value));
    }
    for (int i = 0; i < 100000; ++i) {
        const float tie = float(i) + 0.5f;
        const float hundredth = float(i) / 100.0f;
        QCOMPARE(formatted(tie * 1000), streamed(tie * 1000));
        QCOMPARE(formatted(hundredth), streamed(hundredth));
        QCOMPARE(formatted(-float(i) * 10), streamed(-float(i) * 10));
    }
}

void TestPlyWriter::readBackGivesSamePoints()
{
    std::mt19937 random(2);
    std::uniform_real_distribution<float> coordinate(-5000, 5000);
    std::uniform_int_distribution<int> channel(0, 255);
    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    for (int i = 0; i < 5000; ++i) {
        v->push_back(osg::Vec3(coordinate(random), coordinate(random) / 1000, coordinate(random) * 1000));
        c->push_back(
            osg::Vec4(channel(random) / 255.0f, channel(random) / 255.0f, channel(random) / 255.0f, 1));
    }
    QTemporaryDir dir;
    const QString name = dir.filePath("out.ply");
    QVERIFY(PlyWriter::writePly(name, *v, *c));

    osg::ref_ptr<osg::Vec3Array> v2 = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c2 = new osg::Vec4Array;
    QVERIFY(PlyReader::readPly(name, *v2, *c2));
    QCOMPARE(v2->size(), v->size());
    for (size_t i = 0; i < v->size(); ++i) {
        for (int k = 0; k < 3; ++k)
            QVERIFY(std::fabs((*v2)[i][k] - (*v)[i][k]) <= 5e-6f * std::fabs((*v)[i][k]));
        for (int k = 0; k < 4; ++k)
            QVERIFY(std::fabs((*c2)[i][k] - (*c)[i][k]) < 1.0f / 255);
    }
}

// A cloud at UTM coordinates, kept relative to its kilometre corner, is
// written in world coordinates with the decimals of the file it came from.
void TestPlyWriter::surveyCloudWrittenAsItWasRead()
{
    QByteArray file = headerFor(3) +
                      "712345.674 4123456.781 101.752 255 128 0 255\n"
                      "711999.5 4123000.25 95 0 0 255 255\n"
                      "712019.9999 4122987.0001 94.125 255 255 255 255";
    QBuffer in(&file);
    QVERIFY(in.open(QIODevice::ReadOnly));
    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    PointShift shift;
    QVERIFY(PlyReader::readPly(in, *v, *c, nullptr, &shift));
    QCOMPARE(shift.offset(), osg::Vec3d(712000, 4123000, 0));

    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QVERIFY(PlyWriter::writePly(out, *v, *c, nullptr, shift.offset()));
    QCOMPARE(out.data(), file);
}

// Files of the six-digit writer read as they always did, and writing what
// was read changes nothing: short numbers stay short.
void TestPlyWriter::earlierFilesReadTheSame()
{
    QByteArray file = headerFor(2) + "1.5 -2 1.23457e+06 255 128 0 255\n-863.725 0.000123 12.3457 0 0 255 255";
    QBuffer in(&file);
    QVERIFY(in.open(QIODevice::ReadOnly));
    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    QVERIFY(PlyReader::readPly(in, *v, *c));
    QCOMPARE((*v)[0], osg::Vec3(1.5f, -2.0f, 1.23457e+06f));
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QVERIFY(PlyWriter::writePly(out, *v, *c));
    QCOMPARE(out.data(), headerFor(2) + "1.5 -2 1234570 255 128 0 255\n-863.725 0.000123 12.3457 0 0 255 255");
}

void TestPlyWriter::unwritableTargetFails()
{
    osg::ref_ptr<osg::Vec3Array> v = makeVertices({osg::Vec3(1, 2, 3)});
    osg::ref_ptr<osg::Vec4Array> c = makeColours({osg::Vec4(1, 1, 1, 1)});
    QString message;
    QVERIFY(!PlyWriter::writePly("/nonexistent-folder/out.ply", *v, *c, &message));
    QVERIFY(message.contains("cannot write"));
}

QTEST_GUILESS_MAIN(TestPlyWriter)
#include "tst_plywriter.moc"
