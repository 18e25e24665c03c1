#include <QBuffer>
#include <QtTest>

#include "KmlKind.h"
#include "KmlWriter.h"
#include "LayerType.h"
#include "SharedData.h"

class TestKmlKind : public QObject
{
    Q_OBJECT
private slots:
    void kindOfText_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("kind");
        QTest::newRow("neither word") << QByteArray("<kml><Document></Document></kml>") << "Points";
        QTest::newRow("empty") << QByteArray() << "Points";
        QTest::newRow("polygon line first") << QByteArray("<a>\n<Polygon>\n<Point>\n") << "Polygons";
        QTest::newRow("point line first") << QByteArray("<Point>\n<Polygon>\n") << "Points";
        QTest::newRow("both on one line: Point wins") << QByteArray("<Polygon><Point>\n") << "Points";
        QTest::newRow("last line without newline") << QByteArray("a\nb <Polygon>") << "Polygons";
        // A line longer than one read piece, the word straddling the cut.
        QTest::newRow("word across the read boundary") << QByteArray(65536 - 3, ' ') + "Polygon\n<Point>\n"
                                                       << "Polygons";
        QTest::newRow("Point across the read boundary, after a polygon line")
            << QByteArray(65536 - 2, 'x') + "Point and Polygon\n"
            << "Points";
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
