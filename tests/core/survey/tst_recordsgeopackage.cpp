#include <QtTest>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include "core/survey/RecordsGeoPackage.h"

// The finds and contexts of two days as a GeoPackage, read back through OGR
// as QGIS reads it: the project's system, typed fields, every coordinate.
class TestRecordsGeoPackage : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    static AnnotationRecord find(int id, const QString& basket, const QString& locus, double x)
    {
        AnnotationRecord r;
        r.type = "Points";
        r.id = id;
        r.basket = basket;
        r.edm = "1";
        r.dCode = "AB12";
        r.locus = locus;
        r.square = "K5";
        r.area = "A";
        r.site = "Tell";
        r.year = "2026";
        r.position = osg::Vec3d(x, 4123456.789, 95.123);
        return r;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void qgisOpensFindsAndContextsWithTypedFields()
    {
        RecordsGeoPackage::Layer day1{"2026-06-12_sf.kml",
                                      {find(0, "10000", "12", 712345.674), find(1, "10001", "13", 712346.5)}};
        RecordsGeoPackage::Layer day2{"2026-06-13_sf.kml", {find(0, "10002", "14b", 712347.25)}};
        AnnotationRecord context;
        context.type = "Polygons";
        context.id = 3;
        context.basket = "15000";
        context.locus = "12";
        context.locusDesc = "FI-FILL";
        context.vertices = {osg::Vec3d(712340, 4123450, 95), osg::Vec3d(712360, 4123450, 95.5),
                            osg::Vec3d(712360, 4123467, 95.2)};
        context.volume.method = "between surveys 2026-06-12 and 2026-06-13";
        context.volume.cut = 2.25;
        context.volume.fill = 0.0125;
        context.volume.net = 0.0125 - 2.25;
        context.volume.uncertainty = 0.17;
        context.volume.area = 170;
        AnnotationRecord bare = context;
        bare.id = 4;
        bare.volume = RecordVolume();
        bare.vertices.removeLast(); // two vertices: no polygon
        const QString path = m_dir.filePath("records.gpkg");
        QString error;
        int skipped = 0;
        QVERIFY2(RecordsGeoPackage::write(path, 32633, {day1, day2}, {{"2026-06-13_dl.kml", {context, bare}}},
                                          &error, &skipped),
                 qPrintable(error));
        QCOMPARE(skipped, 1);

        GDALAllRegister();
        GDALDataset* ds =
            GDALDataset::FromHandle(GDALOpenEx(path.toUtf8(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr));
        QVERIFY(ds);
        OGRLayer* finds = ds->GetLayerByName("finds");
        OGRLayer* contexts = ds->GetLayerByName("contexts");
        QVERIFY(finds && contexts);
        QCOMPARE(finds->GetSpatialRef()->GetAuthorityCode(nullptr), "32633");
        QCOMPARE(int(finds->GetFeatureCount()), 3);
        QCOMPARE(int(contexts->GetFeatureCount()), 1);
        OGRFeatureDefn* d = finds->GetLayerDefn();
        QCOMPARE(d->GetFieldDefn(d->GetFieldIndex("basket"))->GetType(), OFTInteger64);
        QCOMPARE(d->GetFieldDefn(d->GetFieldIndex("gid"))->GetType(), OFTInteger);
        QCOMPARE(d->GetFieldDefn(d->GetFieldIndex("year"))->GetType(), OFTInteger64);
        // One locus is not a number ("14b"): the field is text, so nothing is lost.
        QCOMPARE(d->GetFieldDefn(d->GetFieldIndex("locus"))->GetType(), OFTString);
        QCOMPARE(d->GetFieldDefn(d->GetFieldIndex("d_code"))->GetType(), OFTString);
        finds->ResetReading();
        OGRFeature* first = finds->GetNextFeature();
        QCOMPARE(QString(first->GetFieldAsString("day")), QString("2026-06-12_sf.kml"));
        QCOMPARE(first->GetFieldAsInteger64("basket"), GIntBig(10000));
        const OGRPoint* p = first->GetGeometryRef()->toPoint();
        QCOMPARE(p->getX(), 712345.674);
        QCOMPARE(p->getY(), 4123456.789);
        QCOMPARE(p->getZ(), 95.123);
        OGRFeature::DestroyFeature(first);

        OGRFeatureDefn* c = contexts->GetLayerDefn();
        QCOMPARE(c->GetFieldDefn(c->GetFieldIndex("volume_cut"))->GetType(), OFTReal);
        contexts->ResetReading();
        OGRFeature* f = contexts->GetNextFeature();
        QCOMPARE(f->GetFieldAsDouble("volume_cut"), 2.25);
        QCOMPARE(f->GetFieldAsDouble("volume_net"), 0.0125 - 2.25);
        QCOMPARE(QString(f->GetFieldAsString("volume_method")), context.volume.method);
        QCOMPARE(QString(f->GetFieldAsString("locus_desc")), QString("FI-FILL"));
        const OGRPolygon* polygon = f->GetGeometryRef()->toPolygon();
        QCOMPARE(polygon->getExteriorRing()->getNumPoints(), 4);
        QVERIFY(polygon->getExteriorRing()->get_IsClosed());
        OGRFeature::DestroyFeature(f);
        GDALClose(ds);
    }

    void noSystemOrNoRecordsWritesNothing()
    {
        const QString path = m_dir.filePath("none.gpkg");
        QString error;
        QVERIFY(!RecordsGeoPackage::write(path, 0, {{"a_sf.kml", {find(0, "1", "1", 712000)}}}, {}, &error));
        QVERIFY2(error.contains("no reference system"), qPrintable(error));
        QVERIFY(!RecordsGeoPackage::write(path, 32633, {}, {}, &error));
        QVERIFY2(error.contains("no finds or contexts"), qPrintable(error));
        QVERIFY(
            !RecordsGeoPackage::write(path, 4326, {{"a_sf.kml", {find(0, "1", "1", 712000)}}}, {}, &error));
        QVERIFY2(error.contains("not a projected system"), qPrintable(error));
        QVERIFY(QDir(m_dir.path()).entryList({"none*"}).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestRecordsGeoPackage)
#include "tst_recordsgeopackage.moc"
