#include <QtTest>

#include <osg/Quat>

#include <cmath>

#include "core/formats/NvmReader.h"
#include "core/formats/SparseBundle.h"
#include "core/georef/ControlPointAdjustment.h"
#include "core/georef/GeoReference.h"
#include "core/georef/UtmProjection.h"

namespace
{

const QSize photoSize(1200, 900);
const double focal = 1000;

// The mapper's frame against UTM: survey = t + s R model.
const osg::Quat similarityRotation(0.7, osg::Vec3d(0.2, -0.3, 1));
const osg::Vec3d similarityShift(712345.678, 4123456.789, 101.5);
const double similarityScale = 2.5;

osg::Vec3d toSurvey(const osg::Vec3d& model)
{
    return similarityShift + (similarityRotation * model) * similarityScale;
}

QByteArray number(double v)
{
    return QByteArray::number(v, 'g', 17);
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// A nadir block in the mapper's frame (ground near z = 0, photos 30 units
// up): 12 photos of 48 tie points, written as sparse.nvm with exact
// measurements, each photo's GPS fix (exiftool's XML) where it truly is.
struct Block {
    struct Camera {
        QString name;
        osg::Quat rotation; // model into camera axes
        osg::Vec3d centre;  // model
    };
    std::vector<Camera> cameras;
    std::vector<osg::Vec3d> points;
    double k1 = 0, k2 = 0; // the lens, as COLMAP's RADIAL model

    explicit Block(double lensK1 = 0, double lensK2 = 0) : k1(lensK1), k2(lensK2)
    {
        for (int i = 0; i < 12; ++i) {
            Camera c;
            c.name = QStringLiteral("IMG_%1.JPG").arg(i + 1, 4, 10, QLatin1Char('0'));
            c.centre.set(-9 + 6 * (i % 4), -6 + 6 * (i / 4), 30 + 0.5 * (i % 3));
            const osg::Quat q =
                osg::Quat(M_PI, osg::Vec3d(1, 0, 0)) * osg::Quat(0.03 * (i % 3 - 1), osg::Vec3d(1, 1, 0));
            // As the file keeps it: floats.
            const osg::Quat f(float(q.x()), float(q.y()), float(q.z()), float(q.w()));
            c.rotation = f / f.length();
            cameras.push_back(c);
        }
        for (int i = 0; i < 48; ++i)
            points.emplace_back(-14 + 4 * (i % 8), -10 + 4 * (i / 8), 1.5 * std::sin(i * 0.7));
    }

    // Pixel (corner origin) of a model point; false outside the photo.
    bool pixel(size_t camera, const osg::Vec3d& p, double* column, double* row) const
    {
        const osg::Vec3d c = cameras[camera].rotation * (p - cameras[camera].centre);
        const double u = c.x() / c.z(), v = c.y() / c.z(), r2 = u * u + v * v;
        const double radial = 1 + k1 * r2 + k2 * r2 * r2;
        *column = focal * u * radial + 0.5 * photoSize.width();
        *row = focal * v * radial + 0.5 * photoSize.height();
        return c.z() > 0 && *column > 0 && *row > 0 && *column < photoSize.width() &&
               *row < photoSize.height();
    }

    // The lens as NVM's one distortion term comes nearest to it.
    QByteArray nvm() const
    {
        const double radial = ControlPointAdjustment::nvmFromProjection(
            k1, k2, 0.5 * std::hypot(photoSize.width(), photoSize.height()) / focal);
        QByteArray text = "NVM_V3\n\n" + QByteArray::number(int(cameras.size())) + "\n";
        for (const Camera& c : cameras)
            text += c.name.toLatin1() + ' ' + number(focal) + ' ' + number(c.rotation.w()) + ' ' +
                    number(c.rotation.x()) + ' ' + number(c.rotation.y()) + ' ' + number(c.rotation.z()) +
                    ' ' + number(c.centre.x()) + ' ' + number(c.centre.y()) + ' ' + number(c.centre.z()) +
                    ' ' + number(radial) + " 0\n";
        text += "\n" + QByteArray::number(int(points.size())) + "\n";
        int feature = 0;
        for (const osg::Vec3d& p : points) {
            QByteArray seen;
            int n = 0;
            for (size_t c = 0; c < cameras.size(); ++c) {
                double column = 0, row = 0;
                if (!pixel(c, p, &column, &row))
                    continue;
                seen += ' ' + QByteArray::number(int(c)) + ' ' + QByteArray::number(feature++) + ' ' +
                        number(column - 0.5 * photoSize.width()) + ' ' +
                        number(row - 0.5 * photoSize.height());
                ++n;
            }
            text += number(p.x()) + ' ' + number(p.y()) + ' ' + number(p.z()) + " 200 100 50 " +
                    QByteArray::number(n) + seen + '\n';
        }
        return text + "\n0\n";
    }

    bool writeGps(const QString& folder, int offCamera = -1, const osg::Vec3d& off = osg::Vec3d()) const
    {
        const UtmProjection utm(32633);
        for (size_t i = 0; i < cameras.size(); ++i) {
            const osg::Vec3d at = toSurvey(cameras[i].centre) + (int(i) == offCamera ? off : osg::Vec3d());
            double latitude = 0, longitude = 0;
            if (!utm.geographic(at.x(), at.y(), &latitude, &longitude))
                return false;
            const QByteArray xml = "<?xml version='1.0' encoding='UTF-8'?>\n"
                                   "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n"
                                   "<rdf:Description xmlns:GPS='http://ns.exiftool.org/EXIF/GPS/1.0/'>\n"
                                   " <GPS:GPSLatitude>" +
                                   number(latitude) + "</GPS:GPSLatitude>\n <GPS:GPSLongitude>" +
                                   number(longitude) + "</GPS:GPSLongitude>\n <GPS:GPSAltitude>" +
                                   number(at.z()) + "</GPS:GPSAltitude>\n</rdf:Description>\n</rdf:RDF>\n";
            if (!writeFile(folder + QString(cameras[i].name).replace(".JPG", ".xml"), xml))
                return false;
        }
        return true;
    }

    ControlPoint control(const QString& name, const osg::Vec3d& model, bool check = false) const
    {
        ControlPoint p;
        p.name = name;
        p.survey = toSurvey(model);
        p.check = check;
        for (size_t c = 0; c < cameras.size(); ++c) {
            double column = 0, row = 0;
            if (pixel(c, model, &column, &row))
                p.observations.append({cameras[c].name, column, row});
        }
        return p;
    }

    QVector<ControlPoint> controls() const
    {
        return {control("A", {-10, -7, 0.4}),     control("B", {10, -6, -0.3}),
                control("C", {9, 7, 1.2}),        control("D", {-8, 6, 0.1}),
                control("E", {0, 1, 2.0}),        control("F", {4, -3, 0.6}, true),
                control("G", {-3, 4, -0.8}, true)};
    }
};

ControlPointFit::ImageSize fixedSize()
{
    return [](const QString&) { return photoSize; };
}

} // namespace

class TestControlPointAdjustment : public QObject
{
    Q_OBJECT

private slots:
    // Exact measurements: the adjusted reconstruction is the survey itself,
    // written in a local frame whose origin the companion file carries.
    void writesTheAdjustedSurveyInALocalFrame()
    {
        QTemporaryDir dir;
        const Block block;
        const QString nvm = dir.filePath("sparse.nvm");
        QVERIFY(writeFile(nvm, block.nvm()));
        QVERIFY(block.writeGps(dir.path() + "/"));
        QVector<ControlPoint> points = block.controls();

        const ControlPointFit::Outcome out = ControlPointAdjustment::run(nvm, points, fixedSize(), 32633);
        QVERIFY2(out.written, qPrintable(out.lines.join('\n')));
        QCOMPARE(out.used, 5);
        for (const ControlPoint& p : points)
            QVERIFY2(p.residual < 1e-4 && p.pixels < 1e-2, qPrintable(out.lines.join('\n')));
        QVERIFY(out.worstCheck >= 0 && out.worstCheck < 1e-4);

        // The companion: no rotation, no scale, the origin in whole metres near the points.
        GeoReference geo;
        QVERIFY(GeoReference::read(GeoReference::companionFileName(nvm), geo));
        QCOMPARE(geo.epsg, 32633);
        QCOMPARE(geo.scale, osg::Vec3d(1, 1, 1));
        QVERIFY(geo.rotation.isIdentity());
        for (int k = 0; k < 3; ++k)
            QCOMPARE(geo.translation[k], std::round(geo.translation[k]));
        QVERIFY((geo.translation - toSurvey(osg::Vec3d(0, 0, 0))).length() < 50);

        // The file read again and placed by its companion stands at survey coordinates.
        NvmReader::VertexArrays vertices;
        NvmReader::ColourArrays colours;
        SparseBundle bundle;
        std::string folder;
        QVERIFY(NvmReader::readNvm(nvm.toStdString(), vertices, colours, bundle, folder));
        QCOMPARE(bundle.bundleCameras[0].size(), block.cameras.size());
        for (size_t i = 0; i < block.cameras.size(); ++i)
            QVERIFY(
                (geo.apply(bundle.bundleCameras[0][i]->centre) - toSurvey(block.cameras[i].centre)).length() <
                1e-4);
        QCOMPARE(vertices[0]->size(), block.points.size());
        for (size_t i = 0; i < block.points.size(); ++i)
            QVERIFY((geo.apply(osg::Vec3d((*vertices[0])[i])) - toSurvey(block.points[i])).length() < 1e-3);
        // Colours and measurements are kept.
        QVERIFY(std::abs((*colours[0])[0].r() - 200 / 255.0) < 1e-6);
        QCOMPARE(bundle.bundleCameras[0][0]->views.size() > 0, true);

        // Fitting the adjusted reconstruction again finds it where it is.
        QVector<ControlPoint> again = block.controls();
        const ControlPointFit::Outcome second = ControlPointAdjustment::run(nvm, again, fixedSize(), 32633);
        QVERIFY2(second.written, qPrintable(second.message));
        QVERIFY(second.worstCheck < 1e-4);
    }

    // A lens with two distortion terms, which the NVM file's one cannot
    // hold: the adjustment recovers the lens from the photos and places the
    // check points through it (through the file's term they missed by
    // centimetres, in height above all).
    void checkPointsThroughALensTheNvmFileCannotHold()
    {
        QTemporaryDir dir;
        const Block block(-0.10, 0.05);
        const QString nvm = dir.filePath("sparse.nvm");
        QVERIFY(writeFile(nvm, block.nvm()));
        QVERIFY(block.writeGps(dir.path() + "/"));
        QVector<ControlPoint> points = block.controls();
        const ControlPointFit::Outcome out = ControlPointAdjustment::run(nvm, points, fixedSize(), 32633);
        QVERIFY2(out.written, qPrintable(out.lines.join('\n')));
        QVERIFY2(out.lines.join('\n').contains("k1 -0.1, k2 0.05"), qPrintable(out.lines.join('\n')));
        for (const ControlPoint& p : points)
            if (p.check)
                QVERIFY2(p.residual < 1e-4, qPrintable(out.lines.join('\n')));
    }

    void refusesAndKeepsTheOldFiles_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("message");
        QTest::newRow("camera beyond its GPS") << 0 << "IMG_0006.JPG";
        QTest::newRow("zero sigma") << 1 << "must be above zero";
        QTest::newRow("control seen once") << 2 << "point E";
    }

    void refusesAndKeepsTheOldFiles()
    {
        QFETCH(int, fault);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const Block block;
        const QString nvm = dir.filePath("sparse.nvm");
        const QString companion = dir.filePath("sparse.txt");
        QVERIFY(writeFile(nvm, block.nvm()));
        QVERIFY(writeFile(companion, "1 0 0\n0 1 0\n0 0 1\n0 0 0\n1 1 1\n"));
        // One photo's fix 40 m off, with the consumer's 2 m.
        QVERIFY(block.writeGps(dir.path() + "/", fault == 0 ? 5 : -1, osg::Vec3d(40, 0, 0)));
        QVector<ControlPoint> points = block.controls();
        ControlPointAdjustment::Settings settings;
        if (fault == 1)
            settings.controlSigma.z() = 0;
        if (fault == 2)
            points[4].observations.resize(1);
        const QByteArray nvmBefore = readAll(nvm), companionBefore = readAll(companion);

        const ControlPointFit::Outcome out =
            ControlPointAdjustment::run(nvm, points, fixedSize(), 32633, settings);
        QVERIFY(!out.written);
        QVERIFY2(out.message.startsWith("Ground control: nothing written") && out.message.contains(message),
                 qPrintable(out.message));
        QCOMPARE(readAll(nvm), nvmBefore);
        QCOMPARE(readAll(companion), companionBefore);
    }

    void gpsStandardDeviationsFollowTheExif()
    {
        const ControlPointAdjustment::Settings settings;
        ExifGps::Position gps;
        QCOMPARE(ControlPointAdjustment::priorSigma(gps, settings), osg::Vec3d(2, 2, 5));
        gps.rtkFixed = true;
        QCOMPARE(ControlPointAdjustment::priorSigma(gps, settings), osg::Vec3d(0.05, 0.05, 0.1));
        gps.sigmaEast = 0.01;
        gps.sigmaNorth = 0.02;
        QCOMPARE(ControlPointAdjustment::priorSigma(gps, settings), osg::Vec3d(0.01, 0.02, 0.05));
        gps.sigmaHeight = 0.03;
        QCOMPARE(ControlPointAdjustment::priorSigma(gps, settings), osg::Vec3d(0.01, 0.02, 0.03));
    }

    void radialDistortionConvertsBothWays()
    {
        // A lens's k1 into the NVM's one term and back stays within half a
        // pixel over the photo for a moderate distortion.
        const double maxRadius = 0.5 * std::hypot(1200.0, 900.0) / focal;
        const double r = ControlPointAdjustment::nvmFromProjection(-0.08, 0.0, maxRadius);
        double k1 = 0, k2 = 0;
        ControlPointAdjustment::projectionFromNvm(r, maxRadius, &k1, &k2);
        for (double u = 0.05; u <= maxRadius; u += 0.05) {
            const double d = u * (1 - 0.08 * u * u);
            const double back = d * (1 + r * d * d); // the NVM's undistortion
            QVERIFY2(std::abs(back - u) * focal < 0.5,
                     qPrintable(QString::number(std::abs(back - u) * focal)));
            const double again = u * (1 + k1 * u * u + k2 * u * u * u * u);
            QVERIFY(std::abs(again - d) * focal < 0.5);
        }
    }
};

QTEST_GUILESS_MAIN(TestControlPointAdjustment)
#include "tst_controlpointadjustment.moc"
