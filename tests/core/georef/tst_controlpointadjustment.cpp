#include <QtTest>

#include <osg/Quat>

#include <cmath>

#include "core/formats/NvmReader.h"
#include "core/formats/SparseBundle.h"
#include "core/georef/ControlPointAdjustment.h"
#include "core/georef/GeoReference.h"
#include "core/georef/UtmProjection.h"

#include "NadirBlock.h"

namespace
{

using namespace nadir;

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

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

        // Whoever reads the NVM again projects through the whole lens, which
        // its intrinsics companion carries; through the NVM's term alone
        // the photos' edges miss by pixels.
        QVERIFY(QFileInfo::exists(dir.filePath("sparse-intrinsics.txt")));
        GeoReference geo;
        QVERIFY(GeoReference::read(GeoReference::companionFileName(nvm), geo));
        NvmReader::VertexArrays vertices;
        NvmReader::ColourArrays colours;
        SparseBundle bundle;
        std::string folder;
        QVERIFY(NvmReader::readNvm(nvm.toStdString(), vertices, colours, bundle, folder));
        QVERIFY2(!bundle.lensDamaged && !bundle.lensMessage.empty(), bundle.lensMessage.c_str());
        const auto worstMiss = [&](bool withLens) {
            double worst = 0;
            for (const ControlPoint& p : block.controls())
                for (const ControlObservation& o : p.observations)
                    for (const auto& camera : bundle.bundleCameras[0])
                        if (QString::fromStdString(camera->name) == o.image) {
                            BundleCamera c;
                            c.centre = camera->centre;
                            std::copy(camera->rotation, camera->rotation + 4, c.rotation);
                            c.focalLength = camera->focalLength;
                            c.radial = camera->radial;
                            if (withLens)
                                c.lens = camera->lens;
                            double column = 0, row = 0;
                            if (!ControlPointFit::project(c, p.survey - geo.translation, photoSize, &column,
                                                          &row))
                                return 1e9;
                            worst = std::max(worst, std::hypot(column - o.column, row - o.row));
                            // And back: the observation's ray passes the point.
                            const ControlPointFit::Ray ray =
                                ControlPointFit::rayOf(c, o.column, o.row, photoSize);
                            const osg::Vec3d d = p.survey - geo.translation - ray.origin;
                            const double off =
                                (d - ray.direction * (d * ray.direction)).length() / d.length();
                            worst = std::max(worst, off * c.focalLength);
                        }
            return worst;
        };
        const double throughLens = worstMiss(true), throughNvm = worstMiss(false);
        QVERIFY2(throughLens < 0.05, qPrintable(QString::number(throughLens)));
        QVERIFY2(throughNvm > 0.5, qPrintable(QString::number(throughNvm)));

        // A damaged companion is not applied, and says so.
        QVERIFY(writeFile(dir.filePath("sparse-intrinsics.txt"), "# Camera intrinsics v1\n3\n1200 900 x\n"));
        SparseBundle damaged;
        QVERIFY(NvmReader::readNvm(nvm.toStdString(), vertices, colours, damaged, folder));
        QVERIFY(damaged.lensDamaged);
        QVERIFY2(damaged.lensMessage.find("sparse-intrinsics.txt: line 3") != std::string::npos,
                 damaged.lensMessage.c_str());
        for (const auto& camera : damaged.bundleCameras[0])
            QVERIFY(!camera->lens.known);
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

    // Control points surveyed a few centimetres apart from one another: the
    // one given a tiny standard deviation of its own is held to its survey,
    // its neighbours with the defaults give way. The calibration found comes
    // out for the report.
    void aPointIsHeldByItsOwnDeviation()
    {
        QTemporaryDir dir;
        const Block block;
        const QString nvm = dir.filePath("sparse.nvm");
        QVERIFY(writeFile(nvm, block.nvm()));
        QVERIFY(block.writeGps(dir.path() + "/"));
        QVector<ControlPoint> surveyed = block.controls();
        const osg::Vec3d errors[5] = {{0.04, -0.03, 0.05},
                                      {-0.03, 0.02, -0.04},
                                      {0.02, 0.04, 0.03},
                                      {-0.04, -0.02, -0.05},
                                      {0.03, -0.04, 0.02}};
        for (int i = 0; i < 5; ++i)
            surveyed[i].survey += errors[i];

        QVector<ControlPoint> loose = surveyed;
        const ControlPointFit::Outcome first = ControlPointAdjustment::run(nvm, loose, fixedSize(), 32633);
        QVERIFY2(first.written, qPrintable(first.lines.join('\n')));
        QVERIFY(writeFile(nvm, block.nvm()));
        QVector<ControlPoint> tight = surveyed;
        tight[0].sigmaHorizontal = 0.0002;
        tight[0].sigmaVertical = 0.0002;
        const ControlPointFit::Outcome second = ControlPointAdjustment::run(nvm, tight, fixedSize(), 32633);
        QVERIFY2(second.written, qPrintable(second.lines.join('\n')));
        const QString figures = QString("A: %1 m loose, %2 m tight; B: %3 m")
                                    .arg(loose[0].residual)
                                    .arg(tight[0].residual)
                                    .arg(tight[1].residual);
        QVERIFY2(tight[0].residual < 0.002 && tight[0].residual < 0.2 * loose[0].residual,
                 qPrintable(figures));
        for (int i = 1; i < 5; ++i)
            QVERIFY2(tight[i].residual > 5 * tight[0].residual, qPrintable(figures));

        QCOMPARE(second.calibrations.size(), 1);
        const CameraCalibration& k = second.calibrations[0];
        QCOMPARE(k.photos, 12);
        QCOMPARE(k.width, photoSize.width());
        QCOMPARE(k.cx, 600.0);
        QCOMPARE(k.cy, 450.0);
        QVERIFY2(std::abs(k.focal - focal) < 0.01 * focal && std::abs(k.k1) < 0.01,
                 qPrintable(QString::number(k.focal)));
    }

    // One control point surveyed half a metre off: its photos show it away
    // from its survey, it is left out and the others fit as if it were not
    // there; the check points stay exact.
    void aWronglySurveyedPointIsLeftOut()
    {
        QTemporaryDir dir;
        const Block block;
        const QString nvm = dir.filePath("sparse.nvm");
        QVERIFY(writeFile(nvm, block.nvm()));
        QVERIFY(block.writeGps(dir.path() + "/"));
        QVector<ControlPoint> points = block.controls();
        points[2].survey += osg::Vec3d(0.4, -0.3, 0.2);
        const ControlPointFit::Outcome out = ControlPointAdjustment::run(nvm, points, fixedSize(), 32633);
        QVERIFY2(out.written, qPrintable(out.lines.join('\n')));
        QCOMPARE(out.leftOut, QStringList{"C"});
        QCOMPARE(out.used, 4);
        QVERIFY(out.message.contains("C left out as gross error(s)"));
        QVERIFY(points[2].leftOut && std::abs(points[2].residual - std::sqrt(0.29)) < 1e-3);
        for (int i = 0; i < points.size(); ++i)
            if (i != 2)
                QVERIFY2(!points[i].leftOut && points[i].residual < 1e-3, qPrintable(out.lines.join('\n')));
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
};

QTEST_GUILESS_MAIN(TestControlPointAdjustment)
#include "tst_controlpointadjustment.moc"
