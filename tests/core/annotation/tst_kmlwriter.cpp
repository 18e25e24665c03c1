#include <QBuffer>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include "core/annotation/KmlReader.h"
#include "core/annotation/KmlWriter.h"

namespace
{

AnnotationRecord find(int id, const QString& basket, const QString& code, osg::Vec3d at)
{
    AnnotationRecord r;
    r.type = "Points";
    r.id = id;
    r.date = "2015-03-01";
    r.basket = basket;
    r.edm = "1";
    r.dCode = code;
    r.locus = "5";
    r.square = "A1";
    r.area = "B";
    r.site = "Orvalis";
    r.year = "2015";
    r.position = at;
    return r;
}

AnnotationRecord outline(int id, const QString& locus, QVector<osg::Vec3d> ring)
{
    AnnotationRecord r;
    r.type = "Polygons";
    r.id = id;
    r.basket = "15000";
    r.edm = "1";
    r.dCode = "PS-PERIMETER_START";
    r.locusDesc = "FL-FLOOR";
    r.locus = locus;
    r.structure = "S1";
    r.square = "A1";
    r.area = "B";
    r.site = "Orvalis";
    r.year = "2015";
    r.vertices = ring;
    return r;
}

QString written(LayerType::Code type, const QString& name, const QVector<AnnotationRecord>& records)
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    KmlWriter::write(buffer, type, name, records);
    return QString::fromUtf8(buffer.data());
}

// The numbers of every "POINT Z (...)" or "POLYGON Z ((...))" line ogrinfo prints.
QVector<QVector<double>> geometries(const QString& report, const QString& kind)
{
    QVector<QVector<double>> out;
    static const QRegularExpression number("-?[0-9.]+(?:e[-+]?[0-9]+)?");
    for (const QString& line : report.split('\n')) {
        if (!line.trimmed().startsWith(kind + " "))
            continue;
        QVector<double> values;
        auto it = number.globalMatch(line.mid(line.indexOf('(')));
        while (it.hasNext())
            values << it.next().captured().toDouble();
        out << values;
    }
    return out;
}

} // namespace

class TestKmlWriter : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

    void pointDocumentIsExact()
    {
        const QString doc = written(LayerType::Points, "2015-03-01_sf.kml",
                                    {find(0, "10001", "AB12", osg::Vec3d(1.5f, 2.0f, 3.0f))});
        QCOMPARE(
            doc,
            QString("<?xml version=\"1.0\" encoding=\"UTF-8\"?><kml><Document><name>2015-03-01_sf.kml</name>"
                    "<Placemark><name>10001 AB</name><description>gid: 0\nbasket: 10001\nedm: 1\n"
                    "d_code: AB12\nlocus: 5\nsquare: A1\narea: B\nsite: Orvalis\nyear: 2015\n"
                    "the_geom: 1.5,2,3</description><LookAt><longitude>1.5</longitude><latitude>2</latitude>"
                    "<altitude>3</altitude><range>10</range><tilt>0</tilt><heading>0</heading></LookAt>"
                    "<styleUrl>#msn_ZA</styleUrl><Point><altitudeMode>absolute</altitudeMode>"
                    "<coordinates>1.5,2,3</coordinates></Point></Placemark></Document></kml>\n"));
    }

    void polygonDocumentIsExact()
    {
        const QString doc =
            written(LayerType::Polygons, "d_dl.kml", {outline(3, "7", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}})});
        QCOMPARE(doc,
                 QString("<?xml version=\"1.0\" encoding=\"UTF-8\"?><kml><Document><name>d_dl.kml</name>"
                         "<Placemark><name>7</name><description>gid: 3\nbasket: 15000\nedm: 1\n"
                         "d_code: PS-PERIMETER_START\nlocus_desc: FL-FLOOR\nlocus: 7\nstructure: S1\n"
                         "square: A1\narea: B\nsite: Orvalis\nyear: 2015\n</description>"
                         "<styleUrl>#msn_ZA</styleUrl><Polygon><extrude>1</extrude>"
                         "<altitudeMode>relativeToGround</altitudeMode><outerBoundaryIs><LinearRing>"
                         "<coordinates>0,0,0 1,0,0 1,1,0 0,0,0</coordinates></LinearRing></outerBoundaryIs>"
                         "</Polygon></Placemark></Document></kml>\n"));
    }

    // Every digit a coordinate holds, and no more: survey coordinates keep
    // their millimetres (six significant digits moved a find by 33 cm).
    void numbersReadBackExactly_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("integer") << 3.0 << "3";
        QTest::newRow("short stays short") << 1.5 << "1.5";
        QTest::newRow("long fraction") << 123.456789 << "123.456789";
        QTest::newRow("UTM easting") << 712345.674 << "712345.674";
        QTest::newRow("UTM northing") << 4123456.781 << "4123456.781";
        QTest::newRow("negative small") << -0.000123 << "-0.000123";
    }
    void numbersReadBackExactly()
    {
        QFETCH(double, value);
        QFETCH(QString, text);
        QCOMPARE(KmlWriter::number(value), text);
        QCOMPARE(text.toDouble(), value);
    }

    // A measured volume travels in the description as lines of its own that
    // earlier readers pass over; an outline without one writes none.
    void volumeAttributesSurviveTheDayFile()
    {
        AnnotationRecord measured =
            outline(0, "12", {{712340, 4123450, 95}, {712360, 4123450, 95}, {712360, 4123467, 95}});
        measured.volume.method = "between surveys 2026-06-12 and 2026-06-13";
        measured.volume.cut = 2.2468831;
        measured.volume.fill = 0.0125;
        measured.volume.net = 0.0125 - 2.2468831;
        measured.volume.uncertainty = 0.1712;
        measured.volume.area = 170.0000001;
        const AnnotationRecord plain = outline(1, "13", measured.vertices);
        QBuffer buffer;
        buffer.open(QIODevice::ReadWrite);
        QVERIFY(KmlWriter::write(buffer, LayerType::Polygons, "2026-06-13_dl.kml", {measured, plain}));
        QVERIFY(KmlWriter::polygonDescription(measured).endsWith("volume_area: 170.0000001\n"));
        QVERIFY(!KmlWriter::polygonDescription(plain).contains("volume"));
        buffer.seek(0);
        const KmlReader::Result back = KmlReader::read(buffer, LayerType::Polygons);
        QCOMPARE(back.records.size(), 2);
        const RecordVolume& v = back.records[0].volume;
        QCOMPARE(v.method, measured.volume.method);
        QCOMPARE(v.cut, measured.volume.cut);
        QCOMPARE(v.fill, measured.volume.fill);
        QCOMPARE(v.net, measured.volume.net);
        QCOMPARE(v.uncertainty, measured.volume.uncertainty);
        QCOMPARE(v.area, measured.volume.area);
        QCOMPARE(back.records[0].year, QString("2015")); // the attributes before it are as they were
        QVERIFY(!back.records[1].volume.isSet());
        QVERIFY(std::isnan(back.records[1].volume.cut));
    }

    // GDAL's two KML drivers must see what we wrote: the features, and their
    // coordinates in the longitude/latitude/altitude slots.
    void gdalReadsOurLayers_data()
    {
        QTest::addColumn<QString>("skip");
        QTest::newRow("libkml driver") << "";
        QTest::newRow("kml driver") << "LIBKML";
    }
    void gdalReadsOurLayers()
    {
        QFETCH(QString, skip);
        const QString ogrinfo = QStandardPaths::findExecutable("ogrinfo");
        QVERIFY2(!ogrinfo.isEmpty(),
                 "ogrinfo (gdal-bin) is not installed; tools/install-deps.sh installs it");
        QTemporaryDir dir;
        const QString points = dir.filePath("2015-03-01_sf.kml");
        const QString polygons = dir.filePath("2015-03-01_dl.kml");
        QVERIFY(KmlWriter::writeFile(points, LayerType::Points, "2015-03-01_sf.kml",
                                     {find(0, "10001", "AB12", {1.5, 2.0, 3.0}),
                                      find(1, "10002", "PO", {-4.25, 100.125, 0.5}),
                                      find(2, "10003", "BO", {7.0, 8.0, 9.0}),
                                      find(3, "10004", "AB", {712345.674, 4123456.781, 101.752})}));
        QVERIFY(
            KmlWriter::writeFile(polygons, LayerType::Polygons, "2015-03-01_dl.kml",
                                 {outline(0, "5", {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}}),
                                  outline(1, "6", {{10, 10, 1}, {12, 10, 1}, {12, 13, 1}, {10, 13, 1}})}));
        const auto report = [&](const QString& file) {
            QProcess p;
            QStringList args;
            if (!skip.isEmpty())
                args << "--config"
                     << "GDAL_SKIP" << skip;
            args << "-ro"
                 << "-al" << file;
            p.start(ogrinfo, args);
            p.waitForFinished(30000);
            return QString::fromUtf8(p.readAllStandardOutput());
        };

        const QString pointReport = report(points);
        QVERIFY2(pointReport.contains("Feature Count: 4"), qPrintable(pointReport));
        const QVector<QVector<double>> found = geometries(pointReport, "POINT");
        QCOMPARE(found, (QVector<QVector<double>>{
                            {1.5, 2, 3}, {-4.25, 100.125, 0.5}, {7, 8, 9}, {712345.674, 4123456.781, 101.752}}));

        const QString polygonReport = report(polygons);
        QVERIFY2(polygonReport.contains("Feature Count: 2"), qPrintable(polygonReport));
        const QVector<QVector<double>> rings = geometries(polygonReport, "POLYGON");
        QCOMPARE(rings, (QVector<QVector<double>>{{0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 0, 0},
                                                  {10, 10, 1, 12, 10, 1, 12, 13, 1, 10, 13, 1, 10, 10, 1}}));
    }
};

QTEST_GUILESS_MAIN(TestKmlWriter)
#include "tst_kmlwriter.moc"
