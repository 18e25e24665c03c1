#include <QtTest>

#include <QListWidget>
#include <QStandardItem>
#include <QStatusBar>

#include <osg/ComputeBoundsVisitor>

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include "core/products/ProductRecord.h"
#include "scene/view/OsgWidget.h"
#include "ui/layers/LayerTree.h"
#include "ui/layers/ProductLayers.h"
#include "ui/main/MainWindow.h"

// The layers of a pipeline folder's results when the georeference changes
// under them (a fit to control points): the reconstruction and its dense
// cloud move with it, the elevation model made with the earlier one is
// marked stale, and a reopened project marks it again.
class TestProductLayers : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString& name) const { return m_dir.filePath(name); }

    void writeGeoreference(double east)
    {
        QFile f(path("sparse.txt"));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(
            QString("1 0 0\n0 1 0\n0 0 1\n%1 4123000 95\n1 1 1\nEPSG:32633\n").arg(east, 0, 'f', 3).toUtf8());
        f.close();
        QVERIFY(ProductRecord::make(path(""), ProductRecord::georeference, {"sparse.nvm"}, {"sparse.txt"})
                    .write(path("")));
    }

    void writeDsm()
    {
        GDALAllRegister();
        QDir().mkpath(path("ortho"));
        GDALDataset* ds = GetGDALDriverManager()->GetDriverByName("GTiff")->Create(
            path("ortho/dsm.tif").toUtf8().constData(), 20, 20, 1, GDT_Float32, nullptr);
        QVERIFY(ds);
        double transform[6] = {712000, 1, 0, 4123020, 0, -1};
        ds->SetGeoTransform(transform);
        OGRSpatialReference srs;
        srs.importFromEPSG(32633);
        ds->SetSpatialRef(&srs);
        std::vector<float> heights(400, 95.5f);
        QCOMPARE(
            ds->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, 20, 20, heights.data(), 20, 20, GDT_Float32, 0, 0),
            CE_None);
        GDALClose(ds);
        QVERIFY(ProductRecord::make(path(""), ProductRecord::orthophoto,
                                    {"sparse.nvm", "sparse.txt", "pmvs/models/option-0000.ply"},
                                    {"ortho/dsm.tif"})
                    .write(path("")));
    }

    static double east(osg::Node* node)
    {
        osg::ComputeBoundsVisitor bounds;
        node->accept(bounds);
        const osg::NodePathList paths = node->getParentalNodePaths();
        osg::NodePath above = paths.front();
        above.pop_back();
        return (bounds.getBoundingBox().center() * osg::computeLocalToWorld(above)).x();
    }

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(images);
        QVERIFY(QDir().mkpath(path("pmvs/models")));
        const QString samples = QStringLiteral(ORVALIS_SOURCE_DIR "/samples/");
        QVERIFY(QFile::copy(samples + "trench_site.nvm", path("sparse.nvm")));
        QVERIFY(QFile::copy(samples + "trench_site.ply", path("pmvs/models/option-0000.ply")));
        QVERIFY(ProductRecord::make(path(""), ProductRecord::dense, {"sparse.nvm"},
                                    {"pmvs/models/option-0000.ply"})
                    .write(path("")));
        writeGeoreference(712000);
        writeDsm();
    }

    void newGeoreferenceMovesTheReconstructionAndMarksTheRastersStale()
    {
        MainWindow w;
        w.addDataFiles({path("sparse.nvm"), path("pmvs/models/option-0000.ply"), path("ortho/dsm.tif")});
        LayerTree* layers = w.layers();
        QCOMPARE(layers->layers().size(), 3);
        OsgWidget* scene = w.sceneView();
        const double sparseBefore = east(scene->sparseBundles().front()->sparsePoints.front().get());
        const double denseBefore = east(scene->pointClouds().front().get());
        // The cloud stands on its reconstruction at survey coordinates.
        QVERIFY2(std::abs(denseBefore - sparseBefore) < 1 && denseBefore > 712000,
                 qPrintable(QString("%1 %2").arg(denseBefore, 0, 'f', 3).arg(sparseBefore, 0, 'f', 3)));
        for (const LayerTree::Layer& l : layers->layers())
            QVERIFY(layers->staleReason(l.id).isEmpty());

        writeGeoreference(712010);
        w.productLayers()->stageWritten(ProductRecord::georeference, path(""));
        QCOMPARE(east(scene->sparseBundles().back()->sparsePoints.front().get()) - sparseBefore, 10.0);
        QVERIFY(std::abs(east(scene->pointClouds().front().get()) - denseBefore - 10) < 1e-6);
        const LayerTree::LayerId dsm = layers->idOf(LayerType::Terrain, "dsm.tif");
        const QString reason = layers->staleReason(dsm);
        QCOMPARE(
            reason,
            QString(
                "dsm.tif is stale: it was made from an earlier sparse.txt; run Orthophoto and DSM again"));
        QVERIFY(layers->itemOf(dsm)->font().italic());
        QVERIFY(layers->itemOf(dsm)->toolTip().contains(reason));
        QCOMPARE(w.statusBar()->currentMessage(), reason);
        QCOMPARE(w.logList()->item(w.logList()->count() - 1)->text(), reason);
        QVERIFY(layers->staleReason(layers->idOf(LayerType::PointCloud, "option-0000.ply")).isEmpty());

        // Saved and opened again: still stale, and said so.
        QVERIFY(w.writeProjectFile(path("site.prj")));
        MainWindow reopened;
        QVERIFY(reopened.openProjectFile(path("site.prj")));
        QCOMPARE(reopened.layers()->staleReason(reopened.layers()->idOf(LayerType::Terrain, "dsm.tif")),
                 reason);
    }
};

QTEST_MAIN(TestProductLayers)
#include "tst_productlayers.moc"
