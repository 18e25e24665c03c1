#include <QtTest>

#include <cmath>

#include "core/formats/SparseBundle.h"
#include "core/georef/ControlPointFit.h"
#include "core/georef/GcpFile.h"
#include "core/georef/GcpImport.h"
#include "core/georef/GeoReference.h"
#include "core/georef/UtmProjection.h"

namespace
{

const QSize photoSize(1200, 900);

// A known similarity from the model frame to UTM: survey = t + s R model.
osg::Vec3d toSurvey(const osg::Vec3d& p)
{
    static const osg::Matrixd R = osg::Matrixd::rotate(osg::Quat(0.9, osg::Vec3d(0.3, -0.4, 1)));
    return osg::Vec3d(712345.678, 4123456.789, 101.5) + (p * R) * 0.37;
}

// Eight cameras of an NVM model looking down at a ground near z = 0 from 30
// units up, some tilted, one with radial distortion; the cameras of a second
// model hold two more photos.
struct Scene {
    SparseBundle bundle;

    Scene()
    {
        bundle.bundleCameras.resize(2);
        for (int i = 0; i < 10; ++i) {
            auto c = std::make_unique<BundleCamera>();
            c->name = QStringLiteral("IMG_%1.JPG").arg(i + 1, 4, 10, QLatin1Char('0')).toStdString();
            c->focalLength = 1000 + 10 * i;
            c->centre.set(-12 + 4 * (i % 4), -6 + 6 * (i / 4), 30 + i % 3);
            // Looking down: camera z along world -z, camera y along world -y,
            // then a small tilt; the quaternion is world to camera.
            const osg::Quat down(M_PI, osg::Vec3d(1, 0, 0));
            const osg::Quat tilt(0.05 * (i % 3), osg::Vec3d(0.3, 1, 0.1));
            const osg::Quat worldToCamera = (down * tilt).inverse();
            const osg::Vec4d q = worldToCamera.asVec4();
            for (int k = 0; k < 4; ++k)
                c->rotation[k] = float(q[k]);
            c->radial = i == 2 ? -0.05 : 0;
            bundle.bundleCameras[i < 8 ? 0 : 1].push_back(std::move(c));
        }
    }

    const BundleCamera& camera(const QString& name) const
    {
        for (const auto& list : bundle.bundleCameras)
            for (const auto& c : list)
                if (QString::fromStdString(c->name) == name)
                    return *c;
        return *bundle.bundleCameras[0][0];
    }

    // The pixel (corner origin) of a model point in a photo, the NVM way
    // round: the ideal normalised point is the undistorted measurement, so the
    // measurement is found by iterating u = m (1 + r |m|^2).
    QPointF pixel(const QString& name, const osg::Vec3d& p) const
    {
        const BundleCamera& c = camera(name);
        const osg::Quat q(c.rotation[0], c.rotation[1], c.rotation[2], c.rotation[3]);
        // osg rotates row vectors; q * v applies the rotation to a vector.
        const osg::Vec3d inCamera = q * (p - c.centre);
        const double u = inCamera.x() / inCamera.z(), v = inCamera.y() / inCamera.z();
        double mx = u, my = v;
        for (int k = 0; k < 100; ++k) {
            const double f = 1 + c.radial * (mx * mx + my * my);
            mx = u / f;
            my = v / f;
        }
        return {mx * c.focalLength + photoSize.width() / 2.0, my * c.focalLength + photoSize.height() / 2.0};
    }

    ControlPoint point(const QString& name, const osg::Vec3d& model, const QStringList& photos, bool check = false)
    {
        ControlPoint p;
        p.name = name;
        p.survey = toSurvey(model);
        p.check = check;
        for (const QString& photo : photos) {
            const QPointF at = pixel(photo, model);
            p.observations.append({photo, at.x(), at.y()});
        }
        return p;
    }
};

const QStringList firstModel = {"IMG_0001.JPG", "IMG_0002.JPG", "IMG_0003.JPG", "IMG_0004.JPG",
                                "IMG_0005.JPG", "IMG_0006.JPG"};

ControlPointFit::ImageSize fixedSize()
{
    return [](const QString&) { return photoSize; };
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// exiftool's XML beside each photo of the first model, with the GPS fix of
// where the camera truly is, off by a consumer receiver's few metres across
// and tens of metres in height.
bool writeGps(const Scene& scene, const QString& folder)
{
    const UtmProjection utm(32633);
    int i = 0;
    for (const auto& c : scene.bundle.bundleCameras[0]) {
        const osg::Vec3d at = toSurvey(c->centre) + osg::Vec3d(i % 2 ? 3 : -2, i % 3 ? -2.5 : 1.5, 25);
        double latitude = 0, longitude = 0;
        if (!utm.geographic(at.x(), at.y(), &latitude, &longitude))
            return false;
        const QString xml = folder + QString::fromStdString(c->name).replace(".JPG", ".xml");
        const QByteArray text = "<?xml version='1.0' encoding='UTF-8'?>\n"
                                "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n"
                                "<rdf:Description xmlns:GPS='http://ns.exiftool.org/EXIF/GPS/1.0/'>\n"
                                " <GPS:GPSLatitudeRef>North</GPS:GPSLatitudeRef>\n"
                                " <GPS:GPSLatitude>" +
                                QByteArray::number(latitude, 'g', 17) +
                                "</GPS:GPSLatitude>\n"
                                " <GPS:GPSLongitudeRef>East</GPS:GPSLongitudeRef>\n"
                                " <GPS:GPSLongitude>" +
                                QByteArray::number(longitude, 'g', 17) +
                                "</GPS:GPSLongitude>\n"
                                " <GPS:GPSAltitude>" +
                                QByteArray::number(at.z(), 'f', 3) +
                                " m</GPS:GPSAltitude>\n"
                                "</rdf:Description>\n</rdf:RDF>\n";
        if (!writeFile(xml, text))
            return false;
        ++i;
    }
    return true;
}

// Targets on the ground of the first model's photos: a few decimetres of relief.
QVector<ControlPoint> groundTargets(Scene& scene, int count)
{
    const osg::Vec3d at[] = {{-8, -5, 0.3}, {9, -4, -0.2}, {7, 8, 0.1},
                             {-6, 7, 0},    {0, 1, 0.4},   {3, -2, -0.1}};
    QVector<ControlPoint> points;
    for (int i = 0; i < count; ++i)
        points << scene.point(QStringLiteral("T%1").arg(i + 1), at[i], firstModel);
    return points;
}

} // namespace

class TestControlPointFit : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    // Exact observations of five used and two check points: the fit gives the
    // known similarity back, so the cameras land where it puts them.
    void recoversKnownSimilarityFromExactObservations()
    {
        Scene scene;
        QVector<ControlPoint> points = {
            scene.point("A", {-8, -5, 0.3}, firstModel),      scene.point("B", {9, -4, -0.2}, firstModel),
            scene.point("C", {7, 8, 1.1}, firstModel.mid(2)), scene.point("D", {-6, 7, 0}, firstModel.mid(0, 3)),
            scene.point("E", {0, 1, 2.5}, firstModel),        scene.point("F", {3, -2, 0.4}, firstModel, true),
            scene.point("G", {-2, 4, -0.7}, firstModel.mid(3), true),
        };
        const QString companion = m_dir.filePath("exact.txt");
        const ControlPointFit::Outcome out =
            ControlPointFit::run(scene.bundle, m_dir.path() + "/", companion, points, fixedSize(), 32633);
        QVERIFY2(out.written, qPrintable(out.message));
        QCOMPARE(out.model, 0);
        QCOMPARE(out.used, 5);
        for (const ControlPoint& p : points) {
            QVERIFY2(p.residual < 1e-6, qPrintable(p.name + ": " + QString::number(p.residual)));
            // The surveyed point lands on its picks in every photo.
            QVERIFY2(p.pixels < 1e-3, qPrintable(p.name + ": " + QString::number(p.pixels)));
        }
        QVERIFY2(out.lines.join('\n').contains(
                     "F: residual 0.000 m (dX 0.000, dY 0.000, dZ 0.000), 0.00 px (check)"),
                 qPrintable(out.lines.join('\n')));

        // The cameras' quaternions are floats (as the NVM reader keeps them):
        // their rotations are known to about 1e-7.
        GeoReference geo;
        QVERIFY(GeoReference::read(companion, geo));
        QCOMPARE(geo.epsg, 32633);
        for (const auto& c : scene.bundle.bundleCameras[0])
            QVERIFY2((geo.apply(c->centre) - toSurvey(c->centre)).length() < 1e-5,
                     qPrintable(QString::number((geo.apply(c->centre) - toSurvey(c->centre)).length())));
    }

    // Check points, however far off, change nothing of the fit: the
    // companion file is the same byte for byte as without them, no used
    // point moves, none is taken for a gross error, and each check point's
    // residual is where the fit puts it less its survey, per axis.
    void checkPointsNeverEnterTheFit()
    {
        Scene scene;
        const QVector<ControlPoint> used = groundTargets(scene, 4);
        QVector<ControlPoint> withChecks = used;
        const osg::Vec3d shifts[] = {{0.03, -0.04, 0.12}, {-2.5, 1.5, 30}};
        withChecks << scene.point("K1", {3, -2, 0.4}, firstModel, true)
                   << scene.point("K2", {-2, 4, -0.7}, firstModel.mid(2), true);
        withChecks[4].survey += shifts[0];
        withChecks[5].survey += shifts[1];
        QVector<ControlPoint> alone = used;
        const ControlPointFit::Outcome a = ControlPointFit::run(
            scene.bundle, m_dir.path() + "/", m_dir.filePath("alone.txt"), alone, fixedSize());
        const ControlPointFit::Outcome b = ControlPointFit::run(
            scene.bundle, m_dir.path() + "/", m_dir.filePath("checks.txt"), withChecks, fixedSize());
        QVERIFY2(a.written && b.written, qPrintable(b.message));
        QCOMPARE(readAll(m_dir.filePath("checks.txt")), readAll(m_dir.filePath("alone.txt")));
        QCOMPARE(b.used, 4);
        QVERIFY(b.leftOut.isEmpty());
        QCOMPARE(b.rms, a.rms);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(withChecks[i].residual, alone[i].residual);
        for (int k = 0; k < 2; ++k) {
            const ControlPoint& p = withChecks[4 + k];
            QVERIFY2((p.offset + shifts[k]).length() < 1e-5, qPrintable(p.name));
            QVERIFY(std::abs(p.residual - shifts[k].length()) < 1e-5);
            QVERIFY(!p.leftOut);
        }
        QVERIFY(std::abs(b.worstCheck - shifts[1].length()) < 1e-5);
        QVERIFY2(b.lines.join('\n').contains("K1: residual 0.130 m (dX -0.030, dY 0.040, dZ -0.120)"),
                 qPrintable(b.lines.join('\n')));
    }

    // A check point seen in one photo is not placed and says so; the fit of
    // the used points stands.
    void checkPointInOnePhotoIsNamedNotFitted()
    {
        Scene scene;
        QVector<ControlPoint> points = groundTargets(scene, 4);
        points << scene.point("K1", {3, -2, 0.4}, {"IMG_0002.JPG"}, true);
        const ControlPointFit::Outcome out = ControlPointFit::run(
            scene.bundle, m_dir.path() + "/", m_dir.filePath("check-one-photo.txt"), points, fixedSize());
        QVERIFY2(out.written, qPrintable(out.message));
        QVERIFY(!points[4].hasFit());
        QVERIFY2(
            out.lines.contains("point K1: seen in 1 photo(s) of the reconstruction, at least two are needed "
                               "(check point left out)"),
            qPrintable(out.lines.join('\n')));
    }

    void refusesAndKeepsTheOldFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("two used points") << "two" << "2 used control point(s) placed in the photos, at least three";
        QTest::newRow("collinear points") << "collinear" << "lie on one line";
        QTest::newRow("used point in one photo") << "one photo" << "point C: seen in 1 photo(s) of the reconstruction";
        QTest::newRow("used point in no photo") << "no photo"
                                                << "point C: seen in 0 photo(s) of the reconstruction";
        QTest::newRow("photo of another reconstruction")
            << "other model" << "point C: photo IMG_0009.JPG belongs to another reconstruction (model 2)";
        QTest::newRow("one photo besides one not in the reconstruction")
            << "missing"
            << "point C: seen in 1 photo(s) of the reconstruction, at least two are needed (1 "
               "observation(s) in photos not in the reconstruction left out)";
        QTest::newRow("three used points that disagree") << "three disagree"
                                                         << "the three used control points disagree";
        QTest::newRow("same spot from one place") << "parallel" << "point C: its photos see it at angles 0 degrees apart";
    }

    void refusesAndKeepsTheOldFile()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        Scene scene;
        QVector<ControlPoint> points = {scene.point("A", {-8, -5, 0.3}, firstModel),
                                        scene.point("B", {9, -4, -0.2}, firstModel)};
        const osg::Vec3d c(7, 8, 1.1);
        if (kind == "collinear")
            points << scene.point("C", {0.5, -4.5, 0.05}, firstModel);
        else if (kind == "one photo")
            points << scene.point("C", c, {"IMG_0003.JPG"});
        else if (kind == "no photo")
            points << scene.point("C", c, {});
        else if (kind == "other model")
            points << scene.point("C", c, {"IMG_0003.JPG", "IMG_0009.JPG"});
        else if (kind == "parallel")
            points << scene.point("C", c, {"IMG_0003.JPG", "IMG_0003.JPG"});
        else if (kind == "missing") {
            points << scene.point("C", c, {"IMG_0003.JPG"});
            points.last().observations.append({"IMG_0042.JPG", 10, 10});
        } else if (kind == "three disagree") {
            points << scene.point("C", c, firstModel);
            points.last().survey.z() -= 36;
        }
        const QString companion = m_dir.filePath(kind + ".txt");
        {
            QFile old(companion);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("the previous georeference\n");
        }
        const ControlPointFit::Outcome out =
            ControlPointFit::run(scene.bundle, m_dir.path() + "/", companion, points, fixedSize());
        QVERIFY(!out.written);
        QVERIFY2(out.message.contains(message), qPrintable(out.message));
        QFile old(companion);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("the previous georeference\n"));
        for (const ControlPoint& p : points)
            QVERIFY(std::isnan(p.residual));
    }

    // One observation in a photo the run left out costs that observation, not the fit.
    void observationOfAPhotoNotInTheReconstructionIsLeftOut()
    {
        Scene scene;
        QVector<ControlPoint> points = groundTargets(scene, 4);
        points[2].observations.insert(1, {"DJI_0099.JPG", 10, 10});
        const ControlPointFit::Outcome out = ControlPointFit::run(
            scene.bundle, m_dir.path() + "/", m_dir.filePath("missing-photo.txt"), points, fixedSize());
        QVERIFY2(out.written, qPrintable(out.message));
        QVERIFY2(out.lines.contains(
                     "point T3: photo DJI_0099.JPG is not in the reconstruction: its observation is "
                     "left out"),
                 qPrintable(out.lines.join('\n')));
        QVERIFY(points[2].residual < 1e-6);
    }

    // A height mistyped 36 m low: the point is left out, named with its
    // residual, and the others fit as if it were not there; with three used
    // points the faulty one cannot be told, and nothing is written.
    void grossErrorLeftOutAndNamed()
    {
        Scene scene;
        QVector<ControlPoint> points = groundTargets(scene, 6);
        points[3].survey.z() -= 36;
        const QString companion = m_dir.filePath("gross.txt");
        const ControlPointFit::Outcome out =
            ControlPointFit::run(scene.bundle, m_dir.path() + "/", companion, points, fixedSize(), 32633);
        QVERIFY2(out.written, qPrintable(out.message));
        QCOMPARE(out.used, 5);
        QCOMPARE(out.leftOut, QStringList{"T4"});
        QVERIFY(points[3].leftOut);
        QVERIFY2(std::abs(points[3].offset.z() - 36) < 1e-3 && std::abs(points[3].offset.x()) < 1e-3,
                 qPrintable(QString::number(points[3].offset.z())));
        QVERIFY(points[3].pixels > 100); // 36 m at 11 m from the cameras
        for (int i : {0, 1, 2, 4, 5})
            QVERIFY2(points[i].residual < 1e-5 && !points[i].leftOut, qPrintable(points[i].name));
        QVERIFY2(out.lines.join('\n').contains(
                     "Point T4 left out of the fit: its residual 36.000 m stands out from "
                     "the other used points' 0.000 m (RMS): check its coordinates"),
                 qPrintable(out.lines.join('\n')));
        QVERIFY(out.message.contains("T4 left out"));
        GeoReference geo;
        QVERIFY(GeoReference::read(companion, geo));
        for (const auto& c : scene.bundle.bundleCameras[0])
            QVERIFY((geo.apply(c->centre) - toSurvey(c->centre)).length() < 1e-4);
    }

    // The photos' GPS (consumer grade: metres across, tens of metres in
    // height) against the fit: control points whose easting and northing are
    // swapped fit each other well, but put the cameras millions of metres
    // from their fixes. Nothing is written then; photos without GPS are
    // not compared (recoversKnownSimilarityFromExactObservations).
    void absurdControlRefusedByThePhotosGps_data()
    {
        QTest::addColumn<bool>("swapped");
        QTest::newRow("easting and northing swapped") << true;
        QTest::newRow("the control as surveyed") << false;
    }

    void absurdControlRefusedByThePhotosGps()
    {
        QFETCH(bool, swapped);
        Scene scene;
        const QString folder = m_dir.filePath("gps/");
        QVERIFY(QDir().mkpath(folder));
        QVERIFY(writeGps(scene, folder));
        QVector<ControlPoint> points = groundTargets(scene, 5);
        if (swapped)
            for (ControlPoint& p : points)
                p.survey.set(p.survey.y(), p.survey.x(), p.survey.z());
        const QString companion = folder + "sparse.txt";
        QVERIFY(writeFile(companion, "the previous georeference\n"));
        const ControlPointFit::Outcome out =
            ControlPointFit::run(scene.bundle, folder, companion, points, fixedSize(), 32633);
        QCOMPARE(out.written, !swapped);
        if (swapped) {
            QVERIFY2(QRegularExpression(
                         "the fit puts the cameras [0-9]{7}\\.[0-9]{3} m away from their photos' GPS "
                         "positions \\(median of 8 photos")
                         .match(out.message)
                         .hasMatch(),
                     qPrintable(out.message));
            QCOMPARE(readAll(companion), QByteArray("the previous georeference\n"));
            QVERIFY(std::isnan(points[0].residual));
        }
    }

    void gcpImportRefuses_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("no photo in the reconstruction")
            << QByteArray("EPSG:32633\n712001 4123001 95 10 20 DJI_0098.JPG T1\n712001 4123001 95 10 20 "
                          "DJI_0099.JPG T1\n")
            << "gcp_list.txt: none of its photos is in the reconstruction";
        QTest::newRow("one name, two places")
            << QByteArray("EPSG:32633\n712001 4123001 95 10 20 IMG_0001.JPG T1\n712002 4123001 95 10 20 "
                          "IMG_0002.JPG T1\n")
            << "gcp_list.txt line 3: point T1 has another position";
        QTest::newRow("one name, two deviations")
            << QByteArray("EPSG:32633\n712001 4123001 95 10 20 IMG_0001.JPG T1 0.01\n712001 4123001 95 10 20 "
                          "IMG_0002.JPG T1\n712001 4123001 95 10 20 IMG_0003.JPG T1 0.02\n")
            << "gcp_list.txt line 4: point T1 has another horizontal standard deviation";
        QTest::newRow("unknown reference system")
            << QByteArray("EPSG:4326x\n712001 4123001 95 10 20 IMG_0001.JPG T1\n") << "gcp_list.txt line 1: unknown";
        QTest::newRow("unparseable line")
            << QByteArray("WGS84 UTM 33N\n712001 4123001 95 10 IMG_0001.JPG T1\n") << "gcp_list.txt line 2:";
    }

    void gcpImportRefuses()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, message);
        Scene scene;
        QBuffer buffer(&text);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        GcpFile gcp;
        QString error;
        QVector<ControlPoint> points = {ControlPoint()};
        const bool ok = GcpFile::read(buffer, "gcp_list.txt", &gcp, &error) &&
                        GcpImport::toControlPoints(gcp, "gcp_list.txt", scene.bundle, &points, &error);
        QVERIFY(!ok);
        QVERIFY2(error.startsWith(message), qPrintable(error));
        QCOMPARE(points.size(), 1);
    }

    // A photo the reconstruction lacks costs its observation, named on a
    // line of its own, and the point says what it still needs.
    void gcpImportLeavesOutPhotosNotInTheReconstruction()
    {
        Scene scene;
        QByteArray text("EPSG:32633\n712001 4123001 95 10 20 IMG_0001.JPG T1\n712001 4123001 95 10 20 "
                        "DJI_0099.JPG T1\n712005 4123001 95 10 20 IMG_0001.JPG T2\n712005 4123001 95 30 20 "
                        "IMG_0002.JPG T2 0.004 0.006\n");
        QBuffer buffer(&text);
        QVERIFY(buffer.open(QIODevice::ReadOnly));
        GcpFile gcp;
        QString error;
        QVERIFY2(GcpFile::read(buffer, "gcp_list.txt", &gcp, &error), qPrintable(error));
        QVector<ControlPoint> points;
        QStringList warnings;
        QVERIFY2(GcpImport::toControlPoints(gcp, "gcp_list.txt", scene.bundle, &points, &error, &warnings),
                 qPrintable(error));
        QCOMPARE(points.size(), 2);
        QCOMPARE(points[0].observations.size(), 1);
        QCOMPARE(points[1].observations.size(), 2);
        // A point's deviations, given on any of its lines; none given: NaN, the defaults.
        QCOMPARE(points[1].sigma({1, 1, 1}), osg::Vec3d(0.004, 0.004, 0.006));
        QCOMPARE(points[0].sigma({0.01, 0.01, 0.02}), osg::Vec3d(0.01, 0.01, 0.02));
        QCOMPARE(
            warnings,
            QStringList({"gcp_list.txt line 3: photo DJI_0099.JPG is not in the reconstruction: this "
                         "observation of T1 is left out",
                         "gcp_list.txt: point T1 is seen in 1 photo(s) of the reconstruction; the fit needs "
                         "two: pick it in another photo"}));
    }
};

QTEST_MAIN(TestControlPointFit)
#include "tst_controlpointfit.moc"
