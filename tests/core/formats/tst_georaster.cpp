#include <QtTest>

#include <ogr_spatialref.h>

#include <cmath>

#include "TestRasters.h"
#include "core/formats/DrapedPair.h"
#include "core/formats/GeoRaster.h"

// GeoTIFFs as the terrain layers read them: every band layout an orthophoto
// comes in, other reference systems, and the hostile files fuzzing found.
class TestGeoRaster : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    // Where a point of one EPSG system lies in another, by PROJ.
    static QPointF transform(int from, int to, QPointF p)
    {
        OGRSpatialReference a, b;
        a.importFromEPSG(from);
        b.importFromEPSG(to);
        a.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        b.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
        std::unique_ptr<OGRCoordinateTransformation> t(OGRCreateCoordinateTransformation(&a, &b));
        double x = p.x(), y = p.y();
        return t && t->Transform(1, &x, &y) ? QPointF(x, y) : QPointF(NAN, NAN);
    }

private slots:
    // Only RGB(A) bytes opened as images: a grey orthophoto was refused.
    void everyOrthophotoLayoutOpens_data()
    {
        QTest::addColumn<int>("bands"); // -1: one band of palette indices
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("elevation");
        QTest::addColumn<QByteArray>("firstCell"); // r g b a, or the height
        QTest::newRow("grey") << 1 << int(GDT_Byte) << false << QByteArray("\x46\x46\x46\xff", 4);
        QTest::newRow("grey and alpha") << 2 << int(GDT_Byte) << false << QByteArray("\x46\x46\x46\x8c", 4);
        QTest::newRow("rgb") << 3 << int(GDT_Byte) << false << QByteArray("\x46\x8c\xd2\xff", 4);
        QTest::newRow("rgba") << 4 << int(GDT_Byte) << false << QByteArray("\x46\x8c\xd2\x18", 4);
        QTest::newRow("palette") << -1 << int(GDT_Byte) << false << QByteArray("\x0a\x14\x1e\xff", 4);
        QTest::newRow("float heights") << 1 << int(GDT_Float32) << true << QByteArray("70");
        QTest::newRow("integer heights") << 1 << int(GDT_Int16) << true << QByteArray("70");
    }
    void everyOrthophotoLayoutOpens()
    {
        QFETCH(int, bands);
        QFETCH(int, type);
        QFETCH(bool, elevation);
        QFETCH(QByteArray, firstCell);
        TestRasters::Spec spec;
        spec.bands = std::abs(bands);
        spec.type = GDALDataType(type);
        if (bands < 0) // colour 70 of a palette
            spec.palette.assign(71, GDALColorEntry{10, 20, 30, 255});
        spec.value = [](int band, int, int) { return band < 4 ? 70.0 * band : 24.0; };
        const QString file = path(QString("layout_%1_%2.tif").arg(bands).arg(type));
        QVERIFY(TestRasters::write(file, spec));
        GeoRaster raster;
        QString error;
        QVERIFY2(GeoRaster::read(file, 1024, raster, &error), qPrintable(error));
        QCOMPARE(raster.kind == GeoRaster::Kind::Elevation, elevation);
        QCOMPARE(raster.width, 8);
        if (elevation) {
            QCOMPARE(raster.heights[0], firstCell.toFloat());
        } else {
            QCOMPARE(int(raster.rgba.size()), 8 * 8 * 4);
            QCOMPARE(QByteArray(reinterpret_cast<const char*>(raster.rgba.data()), 4).toHex(),
                     firstCell.toHex());
        }
    }

    void twoBandsOfHeightsAreNeither()
    {
        TestRasters::Spec spec;
        spec.bands = 2;
        QVERIFY(TestRasters::write(path("two.tif"), spec));
        GeoRaster raster;
        QString error;
        QVERIFY(!GeoRaster::read(path("two.tif"), 1024, raster, &error));
        QVERIFY2(error.contains("neither an elevation model"), qPrintable(error));
    }

    // Degrees were taken as metres: a DSM in EPSG:4326 stood at x = 15.
    void rasterInAnotherSystemIsPutIntoTheProjects_data()
    {
        QTest::addColumn<int>("epsg");
        QTest::addColumn<int>("project");
        QTest::addColumn<bool>("reprojected");
        QTest::newRow("degrees into UTM 33N") << 4326 << 32633 << true;
        QTest::newRow("UTM 34N into UTM 33N") << 32634 << 32633 << true;
        QTest::newRow("the project's own") << 32633 << 32633 << false;
        QTest::newRow("projected, no project system yet") << 32634 << 0 << false;
        QTest::newRow("no system: survey coordinates") << 0 << 32633 << false;
    }
    void rasterInAnotherSystemIsPutIntoTheProjects()
    {
        QFETCH(int, epsg);
        QFETCH(int, project);
        QFETCH(bool, reprojected);
        TestRasters::Spec spec;
        spec.width = spec.height = 40;
        spec.epsg = epsg;
        // Near 15.3 E 37.2 N, about 900 m a side.
        const QPointF corner = epsg == 4326 ? QPointF(15.3, 37.21)
                               : epsg       ? transform(4326, epsg, {15.3, 37.21})
                                            : QPointF(500000, 4120000);
        const double cell = epsg == 4326 ? 0.00025 : 25;
        const double t[6] = {corner.x(), cell, 0, corner.y(), 0, -cell};
        std::copy(t, t + 6, spec.transform);
        spec.value = [](int, int c, int) { return 100.0 + c; }; // rising to the east
        const QString file = path(QString("system_%1_%2.tif").arg(epsg).arg(project));
        QVERIFY(TestRasters::write(file, spec));

        GeoRaster raster;
        QString error;
        QVERIFY2(GeoRaster::read(file, 1024, raster, &error, project), qPrintable(error));
        QCOMPARE(raster.reprojected, reprojected);
        QCOMPARE(raster.epsg, reprojected ? project : epsg);
        // The middle of the raster lands where PROJ puts it, heights unchanged.
        const QPointF middle(corner.x() + 20 * cell, corner.y() - 20 * cell);
        const QPointF expected = reprojected ? transform(epsg, project, middle) : middle;
        const int column = int((expected.x() - raster.left) / raster.cellX);
        const int row = int((raster.top - expected.y()) / raster.cellY);
        QVERIFY2(column > 0 && column < raster.width && row > 0 && row < raster.height,
                 qPrintable(
                     QString("%1 %2 in %3 x %4").arg(column).arg(row).arg(raster.width).arg(raster.height)));
        QVERIFY(std::abs(raster.x(column) - expected.x()) <= raster.cellX);
        QVERIFY(std::abs(raster.y(row) - expected.y()) <= raster.cellY);
        QVERIFY2(std::abs(raster.heights[size_t(row) * raster.width + column] - 120.0) < 1.5,
                 qPrintable(QString::number(raster.heights[size_t(row) * raster.width + column])));
    }

    void degreesWithoutAProjectSystemAreRefusedWithTheWayOut()
    {
        TestRasters::Spec spec;
        spec.epsg = 4326;
        const double t[6] = {15.3, 0.001, 0, 37.2, 0, -0.001};
        std::copy(t, t + 6, spec.transform);
        QVERIFY(TestRasters::write(path("degrees.tif"), spec));
        GeoRaster raster;
        QString error;
        QVERIFY(!GeoRaster::read(path("degrees.tif"), 1024, raster, &error));
        QVERIFY2(error.contains("EPSG:4326") && error.contains("gdalwarp -t_srs"), qPrintable(error));
    }

    // Found by fuzzing: cells of infinite or no size at NaN or 0 were taken,
    // giving a mesh of NaNs.
    void geotransformsWithoutPlaceOrSizeAreRefused_data()
    {
        QTest::addColumn<QVector<double>>("transform");
        const double inf = INFINITY, nan = NAN;
        QTest::newRow("infinite cells at NaN") << QVector<double>{nan, inf, 0, nan, 0, -1};
        QTest::newRow("infinite cells at 0") << QVector<double>{0, inf, 0, 0, 0, -inf};
        QTest::newRow("cells of no height") << QVector<double>{0, 1, 0, 0, 0, -0.0};
        QTest::newRow("corner beyond any survey") << QVector<double>{1e300, 1, 0, 0, 0, -1};
    }
    void geotransformsWithoutPlaceOrSizeAreRefused()
    {
        QFETCH(QVector<double>, transform);
        TestRasters::Spec spec;
        spec.epsg = 0;
        std::copy(transform.begin(), transform.end(), spec.transform);
        const QString file = path(QString("transform_%1.tif").arg(QTest::currentDataTag()).replace(' ', '_'));
        QVERIFY(TestRasters::write(file, spec));
        GeoRaster raster;
        QString error;
        QVERIFY(!GeoRaster::read(file, 1024, raster, &error));
        QVERIFY2(error.contains("geotransform"), qPrintable(error));
    }

    // Found by fuzzing: the read size of a 2147483647 x 1 raster overflowed
    // an int, and the whole row was averaged into one cell.
    void widestRasterIsReadAtTheSizeAsked()
    {
        TestRasters::Spec spec;
        spec.width = 2147483647;
        spec.height = 1;
        spec.type = GDT_Byte;
        spec.epsg = 0;
        spec.write = false;
        const double t[6] = {0, 0.01, 0, 1, 0, -0.01};
        std::copy(t, t + 6, spec.transform);
        spec.options = QStringList{"SPARSE_OK=TRUE", "TILED=YES", "BLOCKXSIZE=16384", "BLOCKYSIZE=16"};
        QVERIFY(TestRasters::write(path("wide.tif"), spec));
        GeoRaster raster;
        QString error;
        QVERIFY2(GeoRaster::read(path("wide.tif"), 1024, raster, &error), qPrintable(error));
        QCOMPARE(raster.width, 1024);
        QCOMPARE(raster.height, 1);
        QCOMPARE(raster.cellX, 0.01 * 2147483647.0 / 1024);
    }

    // Found by fuzzing: a sparse 100000 x 100000 file of a few hundred KB was
    // averaged block by block for half a minute. Without overviews it is
    // sampled when its blocks allow, and refused with the way out when not;
    // so is a file whose blocks alone would fill the memory.
    void sparseGiantReadsOnlyWhatItCan_data()
    {
        QTest::addColumn<int>("side");
        QTest::addColumn<QStringList>("layout");
        QTest::addColumn<QString>("refusal"); // empty: read
        QTest::newRow("tiles") << 100000 << QStringList{"TILED=YES"} << "gdaladdo -r average";
        QTest::newRow("rows") << 100000 << QStringList{} << QString();
        QTest::newRow("one giant tile")
            << 16384 << QStringList{"TILED=YES", "BLOCKXSIZE=16384", "BLOCKYSIZE=16384"}
            << "blocks of 1074 MB each";
    }
    void sparseGiantReadsOnlyWhatItCan()
    {
        QFETCH(int, side);
        QFETCH(QStringList, layout);
        QFETCH(QString, refusal);
        TestRasters::Spec spec;
        spec.width = spec.height = side;
        spec.write = false;
        spec.options = layout + QStringList{"SPARSE_OK=TRUE"};
        const QString file = path(QString("sparse_%1.tif").arg(QTest::currentDataTag()).replace(' ', '_'));
        QVERIFY(TestRasters::write(file, spec));
        GeoRaster raster;
        QString error;
        QCOMPARE(GeoRaster::read(file, 1024, raster, &error), refusal.isEmpty());
        if (refusal.isEmpty()) {
            QCOMPARE(raster.width, 1021); // every 98th cell
            QCOMPARE(int(raster.heights.size()), 1021 * 1021);
        } else {
            QVERIFY2(error.startsWith(file) && error.contains(refusal), qPrintable(error));
        }
    }

    // Either raster of the pair names the same two files.
    void dsmAndOrthophotoAreOnePair()
    {
        QVERIFY(QDir(m_dir.path()).mkpath("ortho"));
        TestRasters::Spec dsm;
        QVERIFY(TestRasters::write(path("ortho/dsm.tif"), dsm));
        QVERIFY(TestRasters::write(path("ortho/orthophoto.tif"), TestRasters::orthophoto(dsm)));
        const DrapedPair fromDsm = DrapedPair::of(path("ortho/dsm.tif"));
        QCOMPARE(fromDsm.ortho, path("ortho/orthophoto.tif"));
        QCOMPARE(DrapedPair::of(path("ortho/../ortho/orthophoto.tif")).key(), fromDsm.key());
        QVERIFY(DrapedPair::of(path("ortho/missing.tif")).key().isEmpty());
    }
};

QTEST_MAIN(TestGeoRaster)
#include "tst_georaster.moc"
