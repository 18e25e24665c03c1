#include <QtTest>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

#include "core/georef/AccuracyReport.h"
#include "core/georef/GeoReference.h"
#include "core/georef/UtmProjection.h"
#include "core/products/ProductRecord.h"

namespace
{

// A flight of six cameras 20 model units above a ground at z = 0, looking
// straight down (camera axes: x, -y, -z of the model), focal 1000 px,
// placed in EPSG:32633 by survey = t + 2 model: 40 m above the ground, so a
// ground sample of 4 cm. A grid of 10 x 10 ground points 2 units (4 m)
// apart; a camera sees the points within 6 units of it across each way.
const osg::Vec3d translation(500000, 4100000, 100);
const double scale = 2;
const double focal = 1000;
const QSize photoSize(1000, 800);

osg::Vec3d survey(const osg::Vec3d& model)
{
    return translation + model * scale;
}

osg::Vec3d cameraAt(int i)
{
    return {-6.0 + 6 * (i % 3), i < 3 ? -4.0 : 4.0, 20};
}

osg::Vec3d groundAt(int k)
{
    return {-9.0 + 2 * (k % 10), -9.0 + 2 * (k / 10), 0};
}

bool sees(int camera, int point)
{
    const osg::Vec3d c = cameraAt(camera), p = groundAt(point);
    return std::abs(p.x() - c.x()) <= 6 && std::abs(p.y() - c.y()) <= 6;
}

// The measurement (from the photo's centre) of a model point.
QPointF measure(int camera, const osg::Vec3d& p)
{
    const osg::Vec3d c = cameraAt(camera);
    const double depth = c.z() - p.z();
    return {focal * (p.x() - c.x()) / depth, -focal * (p.y() - c.y()) / depth};
}

QString photo(int i)
{
    return QStringLiteral("IMG_%1.JPG").arg(i + 1, 4, 10, QLatin1Char('0'));
}

// Every second measurement 0.52 px off across.
constexpr double offPixels = 0.52;

QByteArray nvmText()
{
    QByteArray text = "NVM_V3\n\n6\n";
    for (int i = 0; i < 6; ++i) {
        const osg::Vec3d c = cameraAt(i);
        // Quaternion w x y z of a half turn about x.
        text += QStringLiteral("%1 %2 0 1 0 0 %3 %4 %5 0 0\n")
                    .arg(photo(i))
                    .arg(focal)
                    .arg(c.x())
                    .arg(c.y())
                    .arg(c.z())
                    .toUtf8();
    }
    text += "100\n";
    int view = 0;
    for (int k = 0; k < 100; ++k) {
        const osg::Vec3d p = groundAt(k);
        QStringList seen;
        for (int i = 0; i < 6; ++i)
            if (sees(i, k)) {
                const QPointF m = measure(i, p);
                seen << QStringLiteral("%1 %2 %3 %4")
                            .arg(i)
                            .arg(k)
                            .arg(m.x() + (view++ % 2 ? offPixels : 0))
                            .arg(m.y());
            }
        text += QStringLiteral("%1 %2 %3 128 128 128 %4 %5\n")
                    .arg(p.x())
                    .arg(p.y())
                    .arg(p.z())
                    .arg(seen.size())
                    .arg(seen.join(' '))
                    .toUtf8();
    }
    return text + "0\n";
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The GPS error of camera i: 1, 2 and 3 m on the three axes, signs alternating.
osg::Vec3d gpsError(int i)
{
    const double sign = i % 2 ? 1 : -1;
    return {sign, -2 * sign, 3 * sign};
}

bool writeGps(const QString& folder)
{
    const UtmProjection utm(32633);
    for (int i = 0; i < 6; ++i) {
        const osg::Vec3d fix = survey(cameraAt(i)) + gpsError(i);
        double latitude = 0, longitude = 0;
        if (!utm.geographic(fix.x(), fix.y(), &latitude, &longitude))
            return false;
        const QByteArray xml =
            "<?xml version='1.0' encoding='UTF-8'?>\n"
            "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'>\n"
            "<rdf:Description xmlns:GPS='http://ns.exiftool.org/EXIF/GPS/1.0/' "
            "xmlns:IFD0='http://ns.exiftool.org/EXIF/IFD0/1.0/' "
            "xmlns:ExifIFD='http://ns.exiftool.org/EXIF/ExifIFD/1.0/'>\n"
            " <IFD0:Make>Orvalis</IFD0:Make>\n <IFD0:Model>Test Camera</IFD0:Model>\n"
            " <ExifIFD:FocalLength>8.8 mm</ExifIFD:FocalLength>\n"
            " <ExifIFD:FocalLengthIn35mmFormat>24 mm</ExifIFD:FocalLengthIn35mmFormat>\n"
            " <GPS:GPSLatitudeRef>North</GPS:GPSLatitudeRef>\n"
            " <GPS:GPSLongitudeRef>East</GPS:GPSLongitudeRef>\n"
            " <GPS:GPSLatitude>" +
            QByteArray::number(latitude, 'g', 17) + "</GPS:GPSLatitude>\n <GPS:GPSLongitude>" +
            QByteArray::number(longitude, 'g', 17) + "</GPS:GPSLongitude>\n <GPS:GPSAltitude>" +
            QByteArray::number(fix.z(), 'g', 17) + " m</GPS:GPSAltitude>\n</rdf:Description>\n</rdf:RDF>\n";
        if (!writeFile(folder + "/" + QString(photo(i)).replace(".JPG", ".xml"), xml))
            return false;
    }
    return true;
}

ControlPoint fitted(const QString& name, const osg::Vec3d& offset, bool leftOut = false)
{
    ControlPoint p;
    p.name = name;
    p.survey = survey({1, 1, 0});
    p.offset = offset;
    p.residual = offset.length();
    p.pixels = 0.25;
    p.leftOut = leftOut;
    p.observations = {{photo(0), 1, 1}, {photo(1), 2, 2}};
    return p;
}

// A check point the fit did not place: its picks in every photo that sees
// model point (1, 3, 0.5), its survey off by shift.
ControlPoint unplacedCheck(const QString& name, const osg::Vec3d& shift, int photos)
{
    const osg::Vec3d model(1, 3, 0.5);
    ControlPoint p;
    p.name = name;
    p.check = true;
    p.survey = survey(model) + shift;
    for (int i = 0; i < 6 && p.observations.size() < photos; ++i) {
        const QPointF m = measure(i, model);
        p.observations.append({photo(i), m.x() + photoSize.width() / 2.0, m.y() + photoSize.height() / 2.0});
    }
    return p;
}

double rmse(const QVector<double>& values)
{
    double sum = 0;
    for (double v : values)
        sum += v * v;
    return std::sqrt(sum / values.size());
}

} // namespace

class TestAccuracyReport : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_nvm;

    AccuracyReport build(const QVector<ControlPoint>& points)
    {
        AccuracyReport::Input input;
        input.nvmFile = m_nvm;
        input.method = "control points";
        input.points = points;
        input.imageSize = [](const QString&) { return photoSize; };
        AccuracyReport report;
        QString error;
        if (!AccuracyReport::build(input, &report, &error))
            qWarning() << error;
        return report;
    }

private slots:
    void initTestCase()
    {
        m_nvm = m_dir.filePath("sparse.nvm");
        QVERIFY(writeFile(m_nvm, nvmText()));
        GeoReference geo;
        geo.translation = translation;
        geo.scale = {scale, scale, scale};
        geo.epsg = 32633;
        QString error;
        QVERIFY2(geo.write(m_dir.filePath("sparse.txt"), &error), qPrintable(error));
        QVERIFY(writeGps(m_dir.path()));
        QStringList photos;
        for (int i = 0; i < 7; ++i)
            photos << m_dir.filePath(photo(i));
        QVERIFY(
            ProductRecord::make(m_dir.path(), QLatin1String(ProductRecord::sparse), photos, {m_nvm}, "MPBA")
                .write(m_dir.path()));
        QVERIFY(AccuracyReport::writeStages(m_dir.path(), {{"Feature detection", 12.5}, {"Matching", 30.25}},
                                            &error));
    }

    // The JSON of a known flight against its truth: photos, ground sample,
    // stage times, GPS residuals, control and check points with their
    // statistics, reprojection errors and overlap.
    void jsonAgainstTheTruth()
    {
        const QVector<osg::Vec3d> offsets = {{0.01, 0.02, -0.03}, {-0.02, 0.01, 0.05}, {0.0, -0.03, 0.01}};
        const osg::Vec3d shift(0.03, -0.04, 0.12);
        const AccuracyReport report = build({fitted("C1", offsets[0]), fitted("C2", offsets[1]),
                                             fitted("C3", offsets[2]), fitted("L1", {5, 0, 0}, true),
                                             unplacedCheck("K1", shift, 4), unplacedCheck("K2", shift, 1)});
        QString error;
        QVERIFY2(report.writeJson(m_dir.path(), &error), qPrintable(error));
        QFile file(AccuracyReport::jsonFile(m_dir.path()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QJsonObject json = QJsonDocument::fromJson(file.readAll()).object();

        QCOMPARE(json["method"].toString(), QString("control points"));
        QCOMPARE(json["epsg"].toInt(), 32633);
        QCOMPARE(json["photos"].toObject()["listed"].toInt(), 7);
        QCOMPARE(json["photos"].toObject()["registered"].toInt(), 6);
        QVERIFY(std::abs(json["groundSampleMetres"].toDouble() - 0.04) < 1e-9);
        const QJsonArray stages = json["stages"].toArray();
        QCOMPARE(stages.size(), 2);
        QCOMPARE(stages[1].toObject()["name"].toString(), QString("Matching"));
        QCOMPARE(stages[1].toObject()["seconds"].toDouble(), 30.25);

        // Cameras: their survey places bit for bit, the GPS errors back.
        const QJsonArray cameras = json["cameras"].toArray();
        QCOMPARE(cameras.size(), 6);
        for (int i = 0; i < 6; ++i) {
            const QJsonObject c = cameras[i].toObject();
            QCOMPARE(c["photo"].toString(), photo(i));
            QCOMPARE(c["x"].toDouble(), report.cameras[i].position.x());
            QCOMPARE(c["y"].toDouble(), report.cameras[i].position.y());
            QVERIFY(std::abs(c["x"].toDouble() - survey(cameraAt(i)).x()) < 1e-9);
            QVERIFY2(std::abs(c["dx"].toDouble() + gpsError(i).x()) < 1e-6 &&
                         std::abs(c["dy"].toDouble() + gpsError(i).y()) < 1e-6 &&
                         std::abs(c["dz"].toDouble() + gpsError(i).z()) < 1e-6,
                     qPrintable(QString::number(c["dx"].toDouble(), 'g', 17)));
        }
        const QJsonObject gps = json["gpsStatistics"].toObject();
        QCOMPARE(gps["count"].toInt(), 6);
        QVERIFY(std::abs(gps["rmseX"].toDouble() - 1) < 1e-6 && std::abs(gps["rmseY"].toDouble() - 2) < 1e-6);
        QVERIFY(std::abs(gps["rmseHorizontal"].toDouble() - std::sqrt(5.0)) < 1e-6);
        QVERIFY(std::abs(gps["le90"].toDouble() - 1.6449 * 3) < 1e-5);

        // The points: roles, residuals as the fit gave them, the check point
        // placed from its photos under the georeference.
        const QJsonArray points = json["points"].toArray();
        QCOMPARE(points.size(), 6);
        QStringList roles;
        for (const QJsonValue& p : points)
            roles << p.toObject()["role"].toString();
        QCOMPARE(roles, (QStringList{"control", "control", "control", "left out", "check", "not placed"}));
        const QJsonObject k1 = points[4].toObject();
        QVERIFY2(std::abs(k1["dx"].toDouble() + shift.x()) < 1e-5 &&
                     std::abs(k1["dy"].toDouble() + shift.y()) < 1e-5 &&
                     std::abs(k1["dz"].toDouble() + shift.z()) < 1e-5,
                 qPrintable(QString::number(k1["dz"].toDouble(), 'g', 17)));
        QVERIFY(std::abs(k1["horizontal"].toDouble() - 0.05) < 1e-5);
        QVERIFY(std::abs(k1["vertical"].toDouble() + 0.12) < 1e-5);
        QCOMPARE(k1["photos"].toInt(), 4);
        QVERIFY(points[5].toObject()["dx"].isNull());
        QCOMPARE(points[0].toObject()["dx"].toDouble(), 0.01);
        QCOMPARE(points[0].toObject()["x"].toDouble(), survey({1, 1, 0}).x());

        // Control statistics over the three used points only (the one left
        // out is not among them); the check point's apart.
        const QJsonObject control = json["controlStatistics"].toObject();
        QCOMPARE(control["count"].toInt(), 3);
        const double rx = rmse({0.01, -0.02, 0.0}), ry = rmse({0.02, 0.01, -0.03}),
                     rz = rmse({-0.03, 0.05, 0.01});
        QVERIFY(std::abs(control["rmseX"].toDouble() - rx) < 1e-15);
        QVERIFY(std::abs(control["rmseY"].toDouble() - ry) < 1e-15);
        QVERIFY(std::abs(control["rmseVertical"].toDouble() - rz) < 1e-15);
        QVERIFY(std::abs(control["rmseHorizontal"].toDouble() - std::hypot(rx, ry)) < 1e-15);
        QVERIFY(std::abs(control["le90"].toDouble() - 1.6449 * rz) < 1e-15);
        const QJsonObject check = json["checkStatistics"].toObject();
        QCOMPARE(check["count"].toInt(), 1);
        QVERIFY(std::abs(check["rmseHorizontal"].toDouble() - 0.05) < 1e-5);
        QVERIFY(std::abs(check["rmseVertical"].toDouble() - 0.12) < 1e-5);

        // Reprojection: every second measurement 0.52 px off, the others exact.
        int views = 0;
        for (int k = 0; k < 100; ++k)
            for (int i = 0; i < 6; ++i)
                views += sees(i, k) ? 1 : 0;
        const QJsonObject reprojection = json["reprojection"].toObject();
        QCOMPARE(reprojection["count"].toInt(), views);
        QCOMPARE(reprojection["binWidth"].toDouble(), 0.05);
        const QJsonArray counts = reprojection["counts"].toArray();
        QCOMPARE(counts.size(), AccuracyReport::histogramBins);
        QCOMPARE(counts[0].toInt(), (views + 1) / 2);
        QCOMPARE(counts[10].toInt(), views / 2);
        QVERIFY(std::abs(reprojection["max"].toDouble() - offPixels) < 1e-3);

        // Overlap: each photo's footprint on the ground (z = 0, the points'
        // median) is 20 x 16 model units about its camera (40 m up, focal
        // 1000 px, 1000 x 800 px): a cell counts the cameras within 10 units
        // across and 8 along of its centre.
        const QJsonObject overlap = json["overlap"].toObject();
        const double cell = overlap["cell"].toDouble();
        QVERIFY(std::abs(cell - 36.0 / AccuracyReport::overlapCells) < 1e-9);
        const int columns = overlap["columns"].toInt(), rows = overlap["rows"].toInt();
        QCOMPARE(columns, AccuracyReport::overlapCells);
        QCOMPARE(rows, AccuracyReport::overlapCells);
        const QJsonArray cells = overlap["photos"].toArray();
        QCOMPARE(cells.size(), columns * rows);
        int fewer = 0, seen = 0, wrong = 0;
        for (int row = 0; row < rows; ++row)
            for (int column = 0; column < columns; ++column) {
                const double x =
                    (overlap["originX"].toDouble() + (column + 0.5) * cell - translation.x()) / scale;
                const double y =
                    (overlap["originY"].toDouble() + (row + 0.5) * cell - translation.y()) / scale;
                int n = 0;
                for (int i = 0; i < 6; ++i)
                    n += std::abs(x - cameraAt(i).x()) < 10 && std::abs(y - cameraAt(i).y()) < 8 ? 1 : 0;
                wrong += cells[row * columns + column].toInt() != n ? 1 : 0;
                seen += n > 0 ? 1 : 0;
                fewer += n > 0 && n < 3 ? 1 : 0;
            }
        QCOMPARE(wrong, 0);
        QCOMPARE(overlap["seen"].toInt(), seen);
        QCOMPARE(overlap["fewerThanThree"].toInt(), fewer);
        QVERIFY(fewer > 0 && fewer < seen);
        QVERIFY(std::abs(json["areaSquareMetres"].toDouble() - seen * cell * cell) < 1e-9);

        const QJsonObject calibration = json["calibration"].toObject();
        QCOMPARE(calibration["focalPixels"].toDouble(), focal);
        QCOMPARE(calibration["exifFocal"].toString(), QString("8.8 mm"));
        QCOMPARE(calibration["camera"].toString(), QString("Orvalis Test Camera"));
        // Found (the reconstruction's: no distortion, the principal point at
        // the centre) against the EXIF's 35 mm equivalent over the diagonal.
        const QJsonObject found = calibration["found"].toObject(), exif = calibration["exif"].toObject();
        QCOMPARE(found["source"].toString(), QString("reconstruction"));
        QCOMPARE(found["focalPixels"].toDouble(), focal);
        QCOMPARE(found["cx"].toDouble(), 500.0);
        QCOMPARE(found["cy"].toDouble(), 400.0);
        QCOMPARE(found["k1"].toDouble(), 0.0);
        QCOMPARE(exif["source"].toString(), QString("35 mm equivalent focal length"));
        QVERIFY(std::abs(exif["focalPixels"].toDouble() - 24 * std::hypot(1000, 800) / std::hypot(36, 24)) <
                1e-9);
        QCOMPARE(exif["cx"].toDouble(), 500.0);
        QCOMPARE(exif["cy"].toDouble(), 400.0);
        QCOMPARE(exif["k1"].toDouble(), 0.0);
        QCOMPARE(exif["k2"].toDouble(), 0.0);

        // What the adjustment found stands for the reconstruction's when given.
        AccuracyReport::Input input;
        input.nvmFile = m_nvm;
        input.imageSize = [](const QString&) { return photoSize; };
        input.calibrations = {{1000, 800, 1010.5, 501, 399, -0.02, 0.003, 2},
                              {1000, 800, 1012.25, 502.5, 398.5, -0.021, 0.004, 4}};
        AccuracyReport adjusted;
        QVERIFY(AccuracyReport::build(input, &adjusted, &error));
        const QJsonObject most = adjusted.toJson()["calibration"].toObject()["found"].toObject();
        QCOMPARE(most["source"].toString(), QString("adjustment"));
        QCOMPARE(most["focalPixels"].toDouble(), 1012.25);
        QCOMPARE(most["cx"].toDouble(), 502.5);
        QCOMPARE(most["k2"].toDouble(), 0.004);
        QCOMPARE(most["photos"].toInt(), 4);
    }

    // The stage times a run records, and the lines that are not ones.
    void stageTimesReadBack()
    {
        QTemporaryDir dir;
        QString error;
        QVERIFY(AccuracyReport::writeStages(dir.path(), {{"Bundle adjustment", 0.1 + 0.2}}, &error));
        QFile f(AccuracyReport::stagesFile(dir.path()));
        QVERIFY(f.open(QIODevice::Append));
        f.write("nonsense\n-5 Negative\n");
        f.close();
        const QVector<AccuracyReport::Stage> stages = AccuracyReport::readStages(dir.path());
        QCOMPARE(stages.size(), 1);
        QCOMPARE(stages[0].name, QString("Bundle adjustment"));
        QCOMPARE(stages[0].seconds, 0.1 + 0.2);
    }

    void unreadableReconstructionSaysWhy()
    {
        AccuracyReport::Input input;
        input.nvmFile = m_dir.filePath("missing.nvm");
        AccuracyReport report;
        QString error;
        QVERIFY(!AccuracyReport::build(input, &report, &error));
        QVERIFY2(error.startsWith(input.nvmFile), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestAccuracyReport)
#include "tst_accuracyreport.moc"
