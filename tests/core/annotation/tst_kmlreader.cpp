#include <QBuffer>
#include <QLocale>
#include <QtTest>

#include "core/annotation/KmlReader.h"
#include "core/annotation/KmlWriter.h"
#include "SharedData.h"

namespace
{

KmlReader::Result readText(const QByteArray& text, LayerType::Code type)
{
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    return KmlReader::read(buffer, type);
}

// Six significant digits, as the writer keeps them.
bool sameTo6(float a, float b)
{
    return QString::number(double(a), 'g', 6) == QString::number(double(b), 'g', 6);
}

} // namespace

class TestKmlReader : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany)); }

    void pointLayerRoundTrip()
    {
        QVector<AnnotationRecord> records;
        const float coords[][3] = {{1.5f, 2.0f, 3.0f},
                                   {123456.789f, -0.00123456789f, 98.7654321f},
                                   {-3.14159265f, 2.71828183e7f, 0.0f}};
        for (int i = 0; i < 3; ++i) {
            AnnotationRecord r;
            r.type = "Points";
            r.id = i * 2;
            r.date = "2015-03-01";
            r.basket = QString::number(10000 + i);
            r.edm = "EDM" + QString::number(i);
            r.dCode = i == 1 ? "" : "PO-POTTERY";
            r.locus = QString::number(5 + i);
            r.square = "A1";
            r.area = "Área ß"; // not ASCII
            r.site = "Tel Orvalis";
            r.year = "2015";
            r.position = osg::Vec3d(coords[i][0], coords[i][1], coords[i][2]);
            records << r;
        }
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(KmlWriter::write(buffer, LayerType::Points, "2015-03-01_sf.kml", records));
        const KmlReader::Result read = readText(buffer.data(), LayerType::Points);
        QVERIFY(read.error.isEmpty());
        QCOMPARE(read.records.size(), 3);
        for (int i = 0; i < 3; ++i) {
            const AnnotationRecord& a = records[i];
            const AnnotationRecord& b = read.records[i];
            QCOMPARE(b.type, QString("Points"));
            QCOMPARE(b.id, a.id);
            QCOMPARE(b.date, QString()); // the date is not written
            QCOMPARE(b.basket, a.basket);
            QCOMPARE(b.edm, a.edm);
            QCOMPARE(b.dCode, a.dCode); // an empty value stays empty
            QCOMPARE(b.locus, a.locus);
            QCOMPARE(b.square, a.square);
            QCOMPARE(b.area, a.area);
            QCOMPARE(b.site, a.site);
            QCOMPARE(b.year, a.year);
            for (int c = 0; c < 3; ++c)
                QVERIFY2(sameTo6(b.position[c], a.position[c]), qPrintable(QString::number(b.position[c])));
        }
    }

    void polygonRoundTripDropsTheClosingVertex()
    {
        AnnotationRecord r;
        r.type = "Polygons";
        r.id = 4;
        r.locusDesc = "FL-FLOOR";
        r.locus = "12";
        r.structure = "S3";
        r.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}};
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        KmlWriter::write(buffer, LayerType::Polygons, "x_dl.kml", {r});
        const KmlReader::Result read = readText(buffer.data(), LayerType::Polygons);
        QCOMPARE(read.records.size(), 1);
        const AnnotationRecord& b = read.records[0];
        QCOMPARE(b.type, QString("Polygons"));
        QCOMPARE(b.vertices, r.vertices);
        QCOMPARE(b.id, 4);
        QCOMPARE(b.locusDesc, QString("FL-FLOOR"));
        QCOMPARE(b.structure, QString("S3"));
    }

    void descriptionLines_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("basket");
        QTest::addColumn<QString>("locus");
        QTest::newRow("our spelling") << "basket: 12"
                                      << "12"
                                      << "";
        QTest::newRow("no blank after the colon") << "basket:12"
                                                  << "2"
                                                  << "";
        QTest::newRow("empty value") << "basket: "
                                     << ""
                                     << "";
        QTest::newRow("value holding a colon") << "locus: 5:a"
                                               << ""
                                               << "5:a";
        QTest::newRow("key case matters") << "BASKET: 9"
                                          << ""
                                          << "";
    }
    void descriptionLines()
    {
        QFETCH(QString, line);
        QFETCH(QString, basket);
        QFETCH(QString, locus);
        const AnnotationRecord r = KmlReader::parseDescription("gid: 7\n" + line);
        QCOMPARE(r.id, 7);
        QCOMPARE(r.basket, basket);
        QCOMPARE(r.locus, locus);
        QCOMPARE(r.type, QString("Polygons"));
    }

    void malformedNumbersBecomeZero()
    {
        const AnnotationRecord r = KmlReader::parseDescription("gid: x\nthe_geom: 1.5,abc");
        QCOMPARE(r.type, QString("Points"));
        QCOMPARE(r.id, 0);
        QCOMPARE(r.position, osg::Vec3d(1.5, 0.0, 0.0));
    }

    void badDocuments_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");
        QTest::addColumn<int>("records");
        QTest::newRow("root is Document")
            << QByteArray(
                   "<Document><Placemark><description>the_geom: 1,2,3</description></Placemark></Document>")
            << KmlReader::notKmlMessage() << 0;
        QTest::newRow("not XML") << QByteArray("ply\nformat ascii 1.0\n") << KmlReader::notKmlMessage() << 0;
        QTest::newRow("empty") << QByteArray() << KmlReader::notKmlMessage() << 0;
        QTest::newRow("truncated in the second placemark")
            << QByteArray("<?xml version=\"1.0\"?><kml><Document><name>t</name>"
                          "<Placemark><description>gid: 1\nthe_geom: 1,2,3</description></Placemark>"
                          "<Placemark><description>gid: 2\nthe_ge")
            << "line" << 1;
        // Nesting that deep would take the recursive reader down with it.
        const QByteArray point("<Placemark><Point><coordinates>1,2,3</coordinates></Point></Placemark>");
        QTest::newRow("folders nested 200000 deep")
            << "<kml>" + point + QByteArray("<Folder>").repeated(200000)
            << "line 1: elements nested more than 100 deep" << 1;
        QTest::newRow("multi-geometries nested 200000 deep")
            << "<kml>" + point + "<Placemark>" + QByteArray("<MultiGeometry>").repeated(200000)
            << "line 1: elements nested more than 100 deep" << 1;
        QTest::newRow("folders nested 90 deep are read")
            << "<kml>" + QByteArray("<Folder>").repeated(90) + point + QByteArray("</Folder>").repeated(90) +
                   "</kml>"
            << QString() << 1;
    }
    void badDocuments()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        QFETCH(int, records);
        const KmlReader::Result read = readText(text, LayerType::Points);
        QVERIFY2(read.error.startsWith(error), qPrintable(read.error));
        QCOMPARE(read.records.size(), records);
    }

    // Google Earth and GDAL put placemarks in folders, write no the_geom, and
    // break coordinate lists over lines.
    void realWorldFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("count");
        QTest::addColumn<float>("firstX");
        QTest::addColumn<float>("firstY");
        QTest::addColumn<int>("firstVertices");
        QTest::newRow("Google Earth points in a folder")
            << "googleearth_points_droneProject.kml" << int(LayerType::Points) << 10 << 35.2014f << 32.1055f
            << 0;
        QTest::newRow("Google Earth polygon") << "googleearth_polygon_kitimat_aoi.kml"
                                              << int(LayerType::Polygons) << 1 << -129.054f << 54.8237f << 13;
        QTest::newRow("GDAL polygons in a folder")
            << "ogr_polygons_ZC_ZEIS.kml" << int(LayerType::Polygons) << 20 << -46.7972f << -23.6823f << 60;
        QTest::newRow("Google samples, points")
            << "google_KML_Samples.kml" << int(LayerType::Points) << 4 << -122.082f << 37.4222f << 0;
        QTest::newRow("Google samples, polygons")
            << "google_KML_Samples.kml" << int(LayerType::Polygons) << 9 << -122.085f << 37.4226f << 21;
    }
    void realWorldFiles()
    {
        QFETCH(QString, file);
        QFETCH(int, type);
        QFETCH(int, count);
        QFETCH(float, firstX);
        QFETCH(float, firstY);
        QFETCH(int, firstVertices);
        REQUIRE_SHARED_DATA();
        const KmlReader::Result read = KmlReader::readFile(SharedData::path("kml/") + file, LayerType::Code(type));
        QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
        QCOMPARE(read.records.size(), count);
        const AnnotationRecord& first = read.records.first();
        const osg::Vec3d at = type == LayerType::Points ? first.position : first.vertices.value(0);
        QVERIFY2(qAbs(at.x() - firstX) < 1e-3f && qAbs(at.y() - firstY) < 1e-3f,
                 qPrintable(QString("%1 %2").arg(at.x()).arg(at.y())));
        QCOMPARE(first.vertices.size(), firstVertices);
        for (const AnnotationRecord& r : read.records)
            QCOMPARE(r.type, LayerType::name(LayerType::Code(type)));
    }
};

QTEST_GUILESS_MAIN(TestKmlReader)
#include "tst_kmlreader.moc"
