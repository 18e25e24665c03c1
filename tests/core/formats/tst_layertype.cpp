#include <QtTest>

#include "core/formats/LayerType.h"
#include "SharedData.h"

class TestLayerType : public QObject
{
    Q_OBJECT
private slots:
    void typeOfFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("type");
        const QString ply = SharedData::path("ply/");
        QTest::newRow("nvm") << "/site/sparse.nvm" << int(LayerType::Bundle);
        QTest::newRow("bundler out") << "/site/bundle.out" << int(LayerType::Bundle);
        // Only the file's own name counts, not the folders it lies in.
        QTest::newRow("folder named run.output holds a mesh")
            << "/data/run.output/mesh.obj" << int(LayerType::Mesh);
        QTest::newRow("folder named run.output holds a cloud")
            << "/nonexistent/run.output/x.ply" << int(LayerType::PointCloud);
        QTest::newRow("folder named scan.pts holds a photo")
            << "/x/scan.pts/photo.jpg" << int(LayerType::None);
        QTest::newRow("layout.nvm") << "/x/layout.nvm" << int(LayerType::Bundle);
        QTest::newRow("osgb terrain") << "/x/site.osgb" << int(LayerType::Terrain);
        QTest::newRow("GeoTIFF elevation model or orthophoto") << "/x/ortho/dsm.tif" << int(LayerType::Terrain);
        QTest::newRow("contour GeoPackage") << "/x/contours/contours_0.1m.gpkg" << int(LayerType::Terrain);
        QTest::newRow("osga cloud") << "/x/site.osga" << int(LayerType::PointCloud);
        QTest::newRow("osg mesh") << "/x/site.osg" << int(LayerType::Mesh);
        QTest::newRow("obj mesh") << "/x/trench.obj" << int(LayerType::Mesh);
        QTest::newRow("pts") << "/x/scan.pts" << int(LayerType::PointCloud);
        QTest::newRow("xyb") << "/x/scan.xyb" << int(LayerType::PointCloud);
        QTest::newRow("patch") << "/x/p.patch" << int(LayerType::PointCloud);
        QTest::newRow("ant") << "/x/notes.ant" << int(LayerType::Annotation);
        QTest::newRow("upper case PLY") << "/x/SCAN.PLY" << int(LayerType::None);
        QTest::newRow("no rule") << "/x/photo.jpg" << int(LayerType::None);
        QTest::newRow("ply with faces") << ply + "trimesh_fuze_ascii_vcg.ply" << int(LayerType::Mesh);
        QTest::newRow("ply with face 0") << ply + "kermit_pmvs_meshlab_ascii.ply" << int(LayerType::PointCloud);
        QTest::newRow("ply face before vertex") << ply + "kermit_bundler_points010.ply" << int(LayerType::PointCloud);
        QTest::newRow("missing ply") << "/nonexistent/cloud.ply" << int(LayerType::PointCloud);
    }
    void typeOfFile()
    {
        QFETCH(QString, path);
        QFETCH(int, type);
        REQUIRE_SHARED_DATA_FOR(path);
        QCOMPARE(int(LayerType::typeOfFile(path)), type);
    }

    void namesAndCodesRoundTrip()
    {
        QCOMPARE(LayerType::all().size(), 8);
        for (LayerType::Code c : LayerType::all()) {
            QCOMPARE(LayerType::fromName(LayerType::name(c)), c);
            QCOMPARE(LayerType::fromCode(int(c)), c);
        }
        for (int unused : {0, 3, 4, 5, 7, 8, 9, 15})
            QCOMPARE(LayerType::fromCode(unused), LayerType::None);
        QCOMPARE(LayerType::fromName("Polylines"), LayerType::Polylines);
    }
};

QTEST_GUILESS_MAIN(TestLayerType)
#include "tst_layertype.moc"
