#include "core/formats/PlyReader.h"
#include "core/formats/PlyToPts.h"
#include "core/formats/PtsReader.h"

#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>
#include "SharedData.h"

#include <sys/resource.h>

namespace
{

// A large PLY made line by line as it is read, so the test itself holds none of it.
class GeneratedPly : public QIODevice
{
public:
    explicit GeneratedPly(qint64 vertices) : m_vertices(vertices)
    {
        m_pending = "ply\nformat ascii 1.0\nelement vertex " + QByteArray::number(vertices) +
                    "\nproperty float x\nproperty float y\nproperty float z\nproperty uchar red\n"
                    "property uchar green\nproperty uchar blue\nend_header\n";
        open(QIODevice::ReadOnly);
    }
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 max) override
    {
        while (m_pending.size() < max && m_made < m_vertices) {
            m_pending += QByteArray::number(712000.125 + m_made % 1000) + " 4123000.5 " +
                         QByteArray::number(m_made % 97) + " 10 20 30\n";
            ++m_made;
        }
        const qint64 n = qMin(max, qint64(m_pending.size()));
        memcpy(data, m_pending.constData(), size_t(n));
        m_pending.remove(0, int(n));
        return n;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    qint64 m_vertices;
    qint64 m_made = 0;
    QByteArray m_pending;
};

// Counts what is written and keeps nothing.
class CountingSink : public QIODevice
{
public:
    CountingSink() { open(QIODevice::WriteOnly); }
    qint64 bytes = 0;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char*, qint64 n) override
    {
        bytes += n;
        return n;
    }
};

long peakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A field of /proc/self/status in kB, -1 when there is none.
long statusKilobytes(const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toLong();
    return -1;
}

// How far the resident memory rose above where it stood when made. Linux
// lets a process reset its peak to the present (clear_refs "5"), so an
// earlier, higher peak of the test itself hides nothing; where that is
// refused, the peak of the whole process is the measure.
class PeakGrowth
{
public:
    PeakGrowth()
    {
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        m_reset = clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
        clear.close();
        m_start = m_reset ? statusKilobytes("VmRSS") : peakKilobytes();
        m_reset = m_reset && m_start >= 0;
        if (!m_reset)
            m_start = peakKilobytes();
    }
    long kilobytes() const { return (m_reset ? statusKilobytes("VmHWM") : peakKilobytes()) - m_start; }

private:
    bool m_reset = false;
    long m_start = 0;
};

} // namespace

class TestPlyToPts : public QObject
{
    Q_OBJECT
private slots:
    void outputName_data();
    void outputName();
    void tokensCopied_data();
    void tokensCopied();
    void nameWithoutPlyIsRefused();
    void largeCloudStreamsInFlatMemory();
    void windowConversionStreamsInFlatMemory();
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
    // Float colours count 0..1: copied as they were, they read as black.
    QTest::newRow("float colours scaled to 0..255")
        << QByteArray("ply\nformat ascii 1.0\nelement vertex 2\nproperty double x\nproperty double y\n"
                      "property double z\nproperty float red\nproperty float green\nproperty float blue\n"
                      "end_header\n1470.2507 2 3 1 0.5 0\n4 5 6 0.2 1.7 -0.1\n")
        << QByteArray("2\n1470.2507 2 3 0 255 128 0\n4 5 6 0 51 255 0");
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

// The whole PTS text was built in memory first: 1.3 GB for ten million
// points, and std::bad_alloc past 2 GiB.
void TestPlyToPts::largeCloudStreamsInFlatMemory()
{
    const qint64 vertices = 1500000;
    GeneratedPly ply(vertices);
    CountingSink pts;
    const PeakGrowth growth;
    qint64 written = 0;
    QString message;
    QVERIFY2(PlyToPts::writePoints(ply, pts, written, &message), qPrintable(message));
    QCOMPARE(written, vertices);
    QVERIFY(pts.bytes > 40 << 20);
    QVERIFY2(growth.kilobytes() < 16 * 1024, qPrintable(QString("grew by %1 kB").arg(growth.kilobytes())));
}

// The window converts a file through convert(path), not writePoints on a
// stream: a convert(path) that built the whole PTS text in memory (1.23 GB
// for ten million points) passed the test above. The window's own path is
// bounded here, from the PLY on disk to the finished PTS beside it.
void TestPlyToPts::windowConversionStreamsInFlatMemory()
{
    const qint64 vertices = 1500000;
    QTemporaryDir dir;
    const QString ply = dir.filePath("dense.ply");
    {
        QFile file(ply);
        QVERIFY(file.open(QIODevice::WriteOnly));
        GeneratedPly source(vertices);
        for (QByteArray chunk; !(chunk = source.read(1 << 20)).isEmpty();)
            QVERIFY(file.write(chunk) == chunk.size());
    }
    const PeakGrowth growth;
    QString message;
    QVERIFY2(PlyToPts::convert(ply, &message), qPrintable(message));
    const long grown = growth.kilobytes();
    QFile pts(dir.filePath("dense.pts"));
    QVERIFY(pts.open(QIODevice::ReadOnly));
    QVERIFY(pts.size() > 40 << 20);
    QCOMPARE(pts.readLine(), QByteArray::number(vertices) + '\n');
    QVERIFY2(grown < 16 * 1024, qPrintable(QString("grew by %1 kB").arg(grown)));
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
