#include <QBuffer>
#include <QtTest>

#include "core/formats/KmlKind.h"
#include "core/annotation/KmlWriter.h"
#include "core/formats/LayerType.h"
#include "SharedData.h"

class TestKmlKind : public QObject
{
    Q_OBJECT
private slots:
    void kindOfText_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("kind");
        QTest::newRow("no geometry") << QByteArray("<kml><Document></Document></kml>") << "Points";
        QTest::newRow("empty") << QByteArray() << "Points";
        QTest::newRow("polygon element first") << QByteArray("<a>\n<Polygon/>\n<Point/>\n</a>") << "Polygons";
        QTest::newRow("point element first") << QByteArray("<a><Point/>\n<Polygon/></a>") << "Points";
        QTest::newRow("namespaced polygon")
            << QByteArray("<kml:kml xmlns:kml=\"http://www.opengis.net/kml/2.2\">"
                          "<kml:Polygon/></kml:kml>")
            << "Polygons";
        // The fault this guards: the word anywhere in the text made a point layer.
        QTest::newRow("polygon layer of the site Point Hope")
            << QByteArray("<kml><Document><name>Point Hope</name><Placemark><description>site: Point Hope"
                          "</description><Polygon><outerBoundaryIs/></Polygon></Placemark></Document></kml>")
            << "Polygons";
        QTest::newRow("geometry after a long line")
            << "<kml><Document><description>" + QByteArray(70000, 'x') + " Point</description>\n<Polygon/>"
            << "Polygons";
        QTest::newRow("broken after the first geometry")
            << QByteArray("<kml><Polygon></Point>") << "Polygons";
    }
    void kindOfText()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, kind);
        QBuffer buffer(&text);
        buffer.open(QIODevice::ReadOnly);
        QCOMPARE(KmlKind::kindOfKml(buffer), kind);
    }

    void ourOwnLayersKeepTheirType_data()
    {
        QTest::addColumn<int>("type");
        QTest::newRow("points") << int(LayerType::Points);
        QTest::newRow("polygons") << int(LayerType::Polygons);
    }
    void ourOwnLayersKeepTheirType()
    {
        QFETCH(int, type);
        AnnotationRecord r;
        r.type = LayerType::name(LayerType::Code(type));
        r.dCode = "PO-POTTERY";
        r.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}};
        QBuffer buffer;
        buffer.open(QIODevice::ReadWrite);
        KmlWriter::write(buffer, LayerType::Code(type), "x.kml", {r, r});
        buffer.seek(0);
        QCOMPARE(KmlKind::kindOfKml(buffer), LayerType::name(LayerType::Code(type)));
    }

    void layerTypeOfRealFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("type");
        QTest::newRow("Google Earth points")
            << "googleearth_points_droneProject.kml" << int(LayerType::Points);
        QTest::newRow("Google Earth polygon")
            << "googleearth_polygon_kitimat_aoi.kml" << int(LayerType::Polygons);
        QTest::newRow("GDAL polygons") << "ogr_polygons_ZC_ZEIS.kml" << int(LayerType::Polygons);
        QTest::newRow("Google samples") << "google_KML_Samples.kml" << int(LayerType::Points);
        QTest::newRow("missing file") << "no_such_file.kml" << int(LayerType::Points);
    }
    void layerTypeOfRealFiles()
    {
        QFETCH(QString, file);
        QFETCH(int, type);
        REQUIRE_SHARED_DATA();
        QCOMPARE(int(LayerType::typeOfFile(SharedData::path("kml/") + file)), type);
    }
};

QTEST_GUILESS_MAIN(TestKmlKind)
#include "tst_kmlkind.moc"
