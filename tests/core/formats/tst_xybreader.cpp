#include "core/formats/XybReader.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cstring>
#include <limits>

namespace
{

QByteArray record(float x, float y, float z, float r, float g, float b)
{
    QByteArray bytes(XybReader::recordSize, '\0');
    const float values[] = {x, y, z, r, g, b};
    for (int i = 0; i < 6; ++i) {
        quint32 bits;
        std::memcpy(&bits, &values[i], 4);
        qToLittleEndian(bits, bytes.data() + 4 * i);
    }
    return bytes;
}

} // namespace

class TestXybReader : public QObject
{
    Q_OBJECT
private slots:
    void recordsOfAFile_data();
    void recordsOfAFile();
    void nonFiniteCoordinatesSkipped();
};

void TestXybReader::recordsOfAFile_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("count");

    const QByteArray two = record(1, 2, 3, 0.25f, 0.5f, 1) + record(-4, 5.5f, 1e6f, 0, 0.125f, 0.75f);
    QTest::newRow("50 bytes: two points, two bytes ignored") << two + QByteArray("\x01\x02", 2) << 2;
    QTest::newRow("48 bytes") << two << 2;
    QTest::newRow("23 bytes") << two.left(23) << 0;
    QTest::newRow("empty") << QByteArray() << 0;
    QByteArray many;
    for (int i = 0; i < 70000; ++i) // more than one read chunk
        many += record(float(i), 0, 0, 0, 0, 0);
    QTest::newRow("records across read chunks") << many + QByteArray(5, '\0') << 70000;
}

void TestXybReader::recordsOfAFile()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, count);

    QTemporaryDir dir;
    QFile file(dir.filePath("cloud.xyb"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();

    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    QString message;
    QCOMPARE(XybReader::readXyb(file.fileName(), *v, *c, &message), count > 0);
    // A refusal says why.
    QCOMPARE(message.contains("no whole 24-byte record"), count == 0);
    QCOMPARE(int(v->size()), count);
    QCOMPARE(int(c->size()), count);
    if (count == 2) {
        QCOMPARE((*v)[0], osg::Vec3(1, 2, 3));
        QCOMPARE((*c)[0], osg::Vec4(0.25f, 0.5f, 1, 1));
        QCOMPARE((*v)[1], osg::Vec3(-4, 5.5f, 1e6f));
        QCOMPARE((*c)[1], osg::Vec4(0, 0.125f, 0.75f, 1));
    }
    if (count == 70000)
        QCOMPARE(v->back().x(), 69999.0f);
}

void TestXybReader::nonFiniteCoordinatesSkipped()
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    QBuffer buffer;
    buffer.setData(record(nan, 0, 0, 1, 1, 1) + record(1, 1, 1, 1, 1, 1) + record(0, inf, 0, 1, 1, 1));
    buffer.open(QIODevice::ReadOnly);
    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    QString message;
    QVERIFY(XybReader::readXyb(buffer, *v, *c, &message));
    QCOMPARE(int(v->size()), 1);
    QCOMPARE(v->front(), osg::Vec3(1, 1, 1));
    QVERIFY(message.contains("2 records"));
}

QTEST_GUILESS_MAIN(TestXybReader)
#include "tst_xybreader.moc"
