#include <QBuffer>
#include <QTemporaryDir>
#include <QtTest>

#include "CommaLocale.h"
#include "core/formats/NvmReader.h"
#include "core/formats/NvmWriter.h"
#include "core/formats/PlyReader.h"
#include "core/formats/PlyWriter.h"
#include "core/formats/PointShift.h"
#include "core/formats/SparseBundle.h"
#include "core/georef/GeoReference.h"
#include "core/io/NumberString.h"

#include <osg/Matrixd>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>

// What the workbench writes and reads back again keeps its numbers bit for
// bit: the georeference companion, NVM and PLY, each with its own writer and
// reader, over random values of every magnitude, in the C locale and in one
// whose decimal separator is a comma.
namespace
{

// Values of the shapes files carry: survey coordinates with up to nine
// decimals (500000.123456789), their neighbouring doubles (which need all 17
// digits), random bit patterns (tiny and huge magnitudes alike), subnormals,
// -0 and the extremes.
class RandomValues
{
public:
    explicit RandomValues(std::uint64_t seed) : m_random(seed) {}

    double anyDouble()
    {
        switch (m_random() % 8) {
        case 0:
        case 1:
            return surveyDouble();
        case 2:
            return std::nextafter(surveyDouble(), m_random() % 2 ? 1e300 : -1e300);
        case 3:
            return finiteBits<double, std::uint64_t>(m_random());
        case 4:
            // Subnormal: a zero exponent field and any mantissa.
            return finiteBits<double, std::uint64_t>(m_random() & 0x800fffffffffffffull);
        case 5:
            return std::uniform_real_distribution<double>(-1, 1)(m_random);
        case 6:
            return double(m_random() % 1000000); // feature numbers, pixel counts
        default: {
            const double special[] = {0.0,
                                      -0.0,
                                      500000.123456789,
                                      5500000.5,
                                      -5500000.5,
                                      0.1,
                                      1e-300,
                                      -1e300,
                                      std::numeric_limits<double>::min(),
                                      std::numeric_limits<double>::denorm_min(),
                                      std::numeric_limits<double>::max(),
                                      std::numeric_limits<double>::lowest(),
                                      std::numeric_limits<double>::epsilon()};
            return special[m_random() % (sizeof special / sizeof *special)];
        }
        }
    }

    float anyFloat()
    {
        switch (m_random() % 7) {
        case 0:
            return float(surveyDouble());
        case 1:
            return std::nextafter(float(surveyDouble()), m_random() % 2 ? 1e30f : -1e30f);
        case 2:
        case 3:
            return finiteBits<float, std::uint32_t>(std::uint32_t(m_random()));
        case 4:
            return finiteBits<float, std::uint32_t>(std::uint32_t(m_random()) & 0x807fffffu);
        case 5:
            return std::uniform_real_distribution<float>(-1, 1)(m_random);
        default: {
            // 1.203e9 lies halfway between two floats, and 7.038531e-26's
            // text gives a double halfway between two: both read back only
            // when the text is rounded once, to the float.
            const float special[] = {0.0f,
                                     -0.0f,
                                     1.203e9f,
                                     7.038531e-26f,
                                     0.1f,
                                     std::numeric_limits<float>::min(),
                                     std::numeric_limits<float>::denorm_min(),
                                     std::numeric_limits<float>::max(),
                                     std::numeric_limits<float>::lowest()};
            return special[m_random() % (sizeof special / sizeof *special)];
        }
        }
    }

    // A coordinate of a projected grid: whole metres to 10000 km, then
    // nought to eight decimals, as a surveyor's file gives them.
    double surveyDouble()
    {
        const int decimals = int(m_random() % 9);
        double power = 1;
        for (int i = 0; i < decimals; ++i)
            power *= 10;
        // Below 2^53, so the integer and its quotient are exact decimals.
        const auto units = std::int64_t(m_random() % std::uint64_t(1e7 * power));
        const double value = double(units) / power;
        return m_random() % 4 ? value : -value;
    }

    // A coordinate with up to six decimals within reach of origin: a point
    // of a site whose grid corner is origin.
    double nearby(double origin, double reach)
    {
        const int decimals = int(m_random() % 7);
        double power = 1;
        for (int i = 0; i < decimals; ++i)
            power *= 10;
        const auto units =
            std::int64_t(m_random() % std::uint64_t(2 * reach * power)) - std::int64_t(reach * power);
        return (origin * power + double(units)) / power;
    }

    std::uint64_t below(std::uint64_t n) { return m_random() % n; }

private:
    template <typename T, typename Bits> T finiteBits(Bits bits)
    {
        T value;
        std::memcpy(&value, &bits, sizeof value);
        return std::isfinite(value) ? value : T(0.5);
    }

    std::mt19937_64 m_random;
};

// Every value compared by its bits; what changed is listed (each value once)
// with its bits.
class BitCheck
{
public:
    template <typename T> void compare(const char* what, T written, T read)
    {
        if (bits(written) == bits(read))
            return;
        ++m_lostCount;
        const QString line =
            QStringLiteral("%1: %2 came back as %3").arg(QLatin1String(what), bitsOf(written), bitsOf(read));
        if (m_lost.size() < 6 && !m_lost.contains(line))
            m_lost << line;
    }

    bool ok() const { return m_lostCount == 0; }
    QByteArray report() const
    {
        return QStringLiteral("%1 values changed; %2")
            .arg(m_lostCount)
            .arg(m_lost.join(QStringLiteral("; ")))
            .toUtf8();
    }

private:
    template <typename T> static std::uint64_t bits(T value)
    {
        std::uint64_t out = 0;
        std::memcpy(&out, &value, sizeof value);
        return out;
    }

    // The shortest text (the file's) and the bits, which tell -0 and 0 apart.
    template <typename T> static QString bitsOf(T value)
    {
        return QStringLiteral("%1 [%2]")
            .arg(NumberString::shortest(value))
            .arg(bits(value), int(2 * sizeof value), 16, QLatin1Char('0'));
    }
    static QString bitsOf(int value) { return QString::number(value); }

    int m_lostCount = 0;
    QStringList m_lost;
};

GeoReference randomGeoReference(RandomValues& values)
{
    GeoReference geo;
    if (values.below(2)) {
        const osg::Vec3d axis(double(values.below(2001)) - 1000.0, double(values.below(2001)) - 1000.0, 1);
        geo.rotation = osg::Matrixd::rotate(std::ldexp(double(values.below(1ull << 53)), -50), axis);
    } else {
        // Any rows that place points: a strong diagonal, off the diagonal
        // anything small (tiny, subnormal, -0).
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c) {
                double v = values.anyDouble();
                if (r == c)
                    v = std::ldexp(1.0 + std::fabs(std::fmod(v, 1.0)), int(values.below(3)) - 1);
                else
                    while (!(std::fabs(v) <= 1e-3))
                        v = values.anyDouble();
                geo.rotation(r, c) = v;
            }
    }
    for (int i = 0; i < 3; ++i) {
        geo.translation[i] = values.anyDouble();
        // The file refuses a zero or subnormal scale: it places nothing.
        double s = values.anyDouble();
        while (!std::isnormal(s))
            s = values.anyDouble();
        geo.scale[i] = s;
    }
    geo.epsg = values.below(3) ? 32600 + int(values.below(61)) : 0;
    return geo;
}

void compareGeoReferences(BitCheck& bits, const GeoReference& written, const GeoReference& read)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            bits.compare("rotation", written.rotation(r, c), read.rotation(r, c));
    for (int i = 0; i < 3; ++i) {
        bits.compare("translation", written.translation[i], read.translation[i]);
        bits.compare("scale", written.scale[i], read.scale[i]);
    }
    bits.compare("epsg", written.epsg, read.epsg);
}

struct Reconstruction {
    SparseBundle bundle;
    NvmReader::VertexArrays vertices;
    NvmReader::ColourArrays colours;
};

// Models with cameras and points; each camera's views in point order, as
// the reader gathers them from the point lines.
std::unique_ptr<Reconstruction> randomReconstruction(RandomValues& values)
{
    auto out = std::make_unique<Reconstruction>();
    for (int m = 0; m < 2; ++m) {
        SparseBundle::CameraList cameras;
        const int cameraCount = 1 + int(values.below(12));
        for (int c = 0; c < cameraCount; ++c) {
            auto camera = std::make_unique<BundleCamera>();
            camera->name = "img" + std::to_string(m) + "_" + std::to_string(c) + ".jpg";
            camera->path = "/site/" + camera->name;
            camera->focalLength = values.anyDouble();
            for (float& q : camera->rotation)
                q = values.anyFloat();
            camera->centre.set(values.anyDouble(), values.anyDouble(), values.anyDouble());
            camera->radial = values.anyDouble();
            cameras.push_back(std::move(camera));
        }
        osg::ref_ptr<osg::Vec3Array> points = new osg::Vec3Array;
        osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
        const int pointCount = 1 + int(values.below(200));
        for (int p = 0; p < pointCount; ++p) {
            points->push_back(osg::Vec3(values.anyFloat(), values.anyFloat(), values.anyFloat()));
            // Colours are bytes in the file: 0..255 over 255.
            const auto channel = [&] { return float(double(values.below(256)) / 255.0); };
            colours->push_back(osg::Vec4(channel(), channel(), channel(), 1));
            const int viewCount = int(values.below(4));
            for (int v = 0; v < viewCount; ++v) {
                const size_t c = values.below(cameras.size());
                auto view = std::make_unique<PointView>();
                view->cameraIndex = double(c);
                view->featureIndex = values.anyDouble();
                view->x = values.anyDouble();
                view->y = values.anyDouble();
                view->pointIndex = p;
                cameras[c]->views.push_back(std::move(view));
            }
        }
        out->bundle.bundleCameras.push_back(std::move(cameras));
        out->vertices.push_back(points);
        out->colours.push_back(colours);
    }
    return out;
}

void compareReconstructions(BitCheck& bits, const Reconstruction& written, const Reconstruction& read)
{
    QCOMPARE(read.bundle.bundleCameras.size(), written.bundle.bundleCameras.size());
    QCOMPARE(read.vertices.size(), written.vertices.size());
    for (size_t m = 0; m < written.bundle.bundleCameras.size(); ++m) {
        const auto& a = written.bundle.bundleCameras[m];
        const auto& b = read.bundle.bundleCameras[m];
        QCOMPARE(b.size(), a.size());
        for (size_t c = 0; c < a.size(); ++c) {
            QCOMPARE(b[c]->name, a[c]->name);
            bits.compare("focal length", a[c]->focalLength, b[c]->focalLength);
            for (int k = 0; k < 4; ++k)
                bits.compare("rotation", a[c]->rotation[k], b[c]->rotation[k]);
            for (int k = 0; k < 3; ++k)
                bits.compare("centre", a[c]->centre[k], b[c]->centre[k]);
            bits.compare("radial", a[c]->radial, b[c]->radial);
            QCOMPARE(b[c]->views.size(), a[c]->views.size());
            for (size_t v = 0; v < a[c]->views.size(); ++v) {
                const PointView& va = *a[c]->views[v];
                const PointView& vb = *b[c]->views[v];
                bits.compare("camera index", va.cameraIndex, vb.cameraIndex);
                bits.compare("feature", va.featureIndex, vb.featureIndex);
                bits.compare("measurement x", va.x, vb.x);
                bits.compare("measurement y", va.y, vb.y);
                bits.compare("point index", va.pointIndex, vb.pointIndex);
            }
        }
        const osg::Vec3Array& pa = *written.vertices[m];
        const osg::Vec3Array& pb = *read.vertices[m];
        QCOMPARE(pb.size(), pa.size());
        for (size_t p = 0; p < pa.size(); ++p)
            for (int k = 0; k < 3; ++k) {
                bits.compare("point", pa[p][k], pb[p][k]);
                bits.compare("colour", (*written.colours[m])[p][k], (*read.colours[m])[p][k]);
            }
    }
}

bool readNvm(const QByteArray& text, Reconstruction& out, std::string* message)
{
    return NvmReader::readNvm(text.constData(), text.constData() + text.size(), "/site/", out.vertices,
                              out.colours, out.bundle, message);
}

QByteArray plyText(const osg::Vec3Array& points, const osg::Vec4Array& colours, const osg::Vec3d& offset)
{
    QBuffer out;
    out.open(QIODevice::WriteOnly);
    QString message;
    if (!PlyWriter::writePly(out, points, colours, &message, offset))
        qWarning("%s", qPrintable(message));
    return out.data();
}

bool readPly(QByteArray text, osg::Vec3Array& points, osg::Vec4Array& colours, PointShift* shift)
{
    QBuffer in(&text);
    in.open(QIODevice::ReadOnly);
    return PlyReader::readPly(in, points, colours, nullptr, shift);
}

} // namespace

class TestRoundTrip : public QObject
{
    Q_OBJECT

    std::unique_ptr<CommaLocale> m_comma;
    QByteArray m_commaNumeric; // its name, empty where none could be installed
    QByteArray m_previousNumeric;

private slots:
    // Every test once in the C locale and once in a comma locale, where a
    // writer or reader that asks the locale would write or stop at ",".
    void initTestCase_data()
    {
        QTest::addColumn<bool>("comma");
        QTest::addColumn<quint64>("seed");
        QTest::newRow("C locale") << false << quint64(20261210);
        QTest::newRow("comma locale") << true << quint64(7);
    }

    void initTestCase()
    {
        // The comma locale is built once (where none is installed) and
        // kept; each test of its row switches the numbers to it.
        m_previousNumeric = std::setlocale(LC_NUMERIC, nullptr);
        const QByteArray previous = std::setlocale(LC_ALL, nullptr);
        m_comma = std::make_unique<CommaLocale>();
        if (m_comma->active())
            m_commaNumeric = std::setlocale(LC_NUMERIC, nullptr);
        std::setlocale(LC_ALL, previous.constData());
    }

    void cleanupTestCase() { m_comma.reset(); }

    void init()
    {
        QFETCH_GLOBAL(bool, comma);
        if (!comma)
            return;
        if (m_commaNumeric.isEmpty())
            QSKIP("no locale with a decimal comma can be installed here");
        std::setlocale(LC_NUMERIC, m_commaNumeric.constData());
        QCOMPARE(std::localeconv()->decimal_point[0], ',');
    }

    void cleanup() { std::setlocale(LC_NUMERIC, m_previousNumeric.constData()); }

    // The companion's fifteen doubles (subnormals and -0 included, where
    // the rows can still place points) through text() and parse(), and
    // through the file for some; the text of what was read is the text
    // written, so saving again changes nothing.
    void geoReference()
    {
        QFETCH_GLOBAL(quint64, seed);
        RandomValues values(seed);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("sparse.txt"));
        BitCheck bits;
        for (int i = 0; i < 3000; ++i) {
            const GeoReference geo = randomGeoReference(values);
            QString error;
            const QByteArray text = geo.text(&error);
            QVERIFY2(!text.isEmpty(), qPrintable(error));
            GeoReference back;
            QVERIFY2(GeoReference::parse(text, back, &error), qPrintable(error + "\n" + text));
            compareGeoReferences(bits, geo, back);
            QCOMPARE(back.text(), text);
            if (i % 100 == 0) {
                QVERIFY2(geo.write(path, &error), qPrintable(error));
                GeoReference fromFile;
                QVERIFY2(GeoReference::read(path, fromFile, &error), qPrintable(error));
                compareGeoReferences(bits, geo, fromFile);
            }
        }
        QVERIFY2(bits.ok(), bits.report());
    }

    // NVM keeps doubles where the reader returns them (focal length,
    // centre, radial distortion, the measurements) and floats where the
    // bundle holds floats (rotation, points): each must come back as it
    // was, as the double or as the float. Colours are bytes in the file.
    void nvm()
    {
        QFETCH_GLOBAL(quint64, seed);
        RandomValues values(seed);
        BitCheck bits;
        for (int i = 0; i < 40; ++i) {
            const std::unique_ptr<Reconstruction> written = randomReconstruction(values);
            const QByteArray text = NvmWriter::text(written->bundle, written->vertices, written->colours);
            QVERIFY(!text.isEmpty());
            Reconstruction read;
            std::string message;
            QVERIFY2(readNvm(text, read, &message), message.c_str());
            compareReconstructions(bits, *written, read);
            if (QTest::currentTestFailed())
                return;
            QVERIFY2(bits.ok(), bits.report());
            QCOMPARE(NvmWriter::text(read.bundle, read.vertices, read.colours), text);
        }
    }

    // PLY holds float coordinates ("property float"): every finite float
    // comes back, subnormals and -0 included.
    void ply()
    {
        QFETCH_GLOBAL(quint64, seed);
        RandomValues values(seed);
        osg::ref_ptr<osg::Vec3Array> points = new osg::Vec3Array;
        osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
        for (int i = 0; i < 20000; ++i) {
            points->push_back(osg::Vec3(values.anyFloat(), values.anyFloat(), values.anyFloat()));
            colours->push_back(osg::Vec4(1, 1, 1, 1));
        }
        const QByteArray text = plyText(*points, *colours, osg::Vec3d());
        osg::ref_ptr<osg::Vec3Array> back = new osg::Vec3Array;
        osg::ref_ptr<osg::Vec4Array> backColours = new osg::Vec4Array;
        QVERIFY(readPly(text, *back, *backColours, nullptr));
        QCOMPARE(back->size(), points->size());
        BitCheck bits;
        for (size_t i = 0; i < points->size(); ++i)
            for (int k = 0; k < 3; ++k)
                bits.compare("coordinate", (*points)[i][k], (*back)[i][k]);
        QVERIFY2(bits.ok(), bits.report());
        QCOMPARE(plyText(*back, *backColours, osg::Vec3d()), text);
    }

    // A survey cloud is held as floats relative to the scene origin and
    // written in world coordinates: read again against the same origin,
    // every stored float is the one written.
    void plyAtSurveyOrigin()
    {
        QFETCH_GLOBAL(quint64, seed);
        RandomValues values(seed);
        const osg::Vec3d origins[] = {osg::Vec3d(500000, 5500000, 0), osg::Vec3d(712000, 4123000, 1000),
                                      osg::Vec3d(-3000, 6200000, 0)};
        for (const osg::Vec3d& origin : origins) {
            PointShift shift{SceneOrigin(origin)};
            osg::ref_ptr<osg::Vec3Array> points = new osg::Vec3Array;
            osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
            for (int i = 0; i < 20000; ++i) {
                points->push_back(shift.toLocal(values.nearby(origin.x(), 5000),
                                                values.nearby(origin.y(), 5000),
                                                values.nearby(origin.z(), 500)));
                colours->push_back(osg::Vec4(1, 1, 1, 1));
            }
            QCOMPARE(shift.offset(), origin);
            const QByteArray text = plyText(*points, *colours, origin);
            osg::ref_ptr<osg::Vec3Array> back = new osg::Vec3Array;
            osg::ref_ptr<osg::Vec4Array> backColours = new osg::Vec4Array;
            PointShift readShift{SceneOrigin(origin)};
            QVERIFY(readPly(text, *back, *backColours, &readShift));
            QCOMPARE(readShift.offset(), origin);
            QCOMPARE(back->size(), points->size());
            BitCheck bits;
            for (size_t i = 0; i < points->size(); ++i)
                for (int k = 0; k < 3; ++k)
                    bits.compare("coordinate", (*points)[i][k], (*back)[i][k]);
            QVERIFY2(bits.ok(), bits.report());
            QCOMPARE(plyText(*back, *backColours, origin), text);
        }
    }
};

QTEST_GUILESS_MAIN(TestRoundTrip)
#include "tst_roundtrip.moc"
