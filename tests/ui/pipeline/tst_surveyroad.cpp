#include <QtTest>

#include <QAction>
#include <QListWidget>
#include <QMessageBox>
#include <QStandardItemModel>
#include <QStatusBar>
#include <QTableWidget>

#include <osg/ComputeBoundsVisitor>
#include <osg/Geode>
#include <osg/Geometry>

#include <algorithm>
#include <sstream>

#include "SurveyWriter.h"
#include "core/formats/GeoRaster.h"
#include "core/formats/SparseBundle.h"
#include "core/products/ProductRecord.h"
#include "core/project/ScanSettings.h"
#include "scene/layers/PointCloudLoader.h"
#include "scene/view/OsgWidget.h"
#include "core/georef/GeoReference.h"
#include "core/products/ProductStatus.h"
#include "ui/annotation/GeoRef.h"
#include "ui/annotation/GroundControl.h"
#include "ui/images/MyListWidget.h"
#include "ui/layers/LayerTree.h"
#include "ui/main/MainWindow.h"
#include "ui/pipeline/OrthoDsmRunner.h"
#include "ui/pipeline/ReconstructionRunner.h"

// The survey road as a user walks it in the survey edition, on a small
// synthetic drone survey with GPS: "&Run Sparse", "&Run Dense",
// "&Orthophoto and DSM", every result opened together at survey coordinates,
// then stages run again: what an earlier run made is never shown as current.
class TestSurveyRoad : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
    double m_groundSample = 0;

    QString photos(const QString& name = QString()) const { return m_dir.filePath("photos/" + name); }

    QString logText() const
    {
        QStringList lines;
        for (int i = 0; i < m_window->logList()->count(); ++i)
            lines << m_window->logList()->item(i)->text();
        return lines.join('\n');
    }

    // Triggers a Scan action and waits for its run to end with the log line
    // done (the status bar may say more after it: stale layers).
    bool run(const char* action, const QString& done)
    {
        ReconstructionRunner* runner = m_window->reconstruction();
        runner->enableRunActions();
        QAction* a = m_window->action(action);
        if (!a || !a->isEnabled())
            return false;
        const int before = m_window->logList()->count();
        a->trigger();
        const bool ended = QTest::qWaitFor(
            [runner] { return !runner->isRunning() && !(runner->orthoDsm() && runner->orthoDsm()->isRunning()); },
            800000);
        QCoreApplication::sendPostedEvents(); // the log channel's lines still on their way
        bool said = false;
        for (int i = before; i < m_window->logList()->count(); ++i)
            said = said || m_window->logList()->item(i)->text().startsWith(done);
        if (!ended || !said)
            qWarning("%s ended with \"%s\":\n%s", action, qPrintable(m_window->statusBar()->currentMessage()),
                     qPrintable(logText()));
        return ended && said;
    }

    // The points of a layer's first geometry as the scene places them.
    static std::vector<osg::Vec3d> worldPoints(osg::Node* node)
    {
        std::vector<osg::Vec3d> out;
        struct Finder : osg::NodeVisitor {
            Finder() : osg::NodeVisitor(TRAVERSE_ALL_CHILDREN) {}
            void apply(osg::Geode& geode) override
            {
                const osg::Matrixd m = osg::computeLocalToWorld(getNodePath());
                for (unsigned i = 0; i < geode.getNumDrawables(); ++i)
                    if (const osg::Geometry* g = geode.getDrawable(i)->asGeometry())
                        if (const auto* v = dynamic_cast<const osg::Vec3Array*>(g->getVertexArray()))
                            for (const osg::Vec3& p : *v)
                                points->push_back(osg::Vec3d(p) * m);
            }
            std::vector<osg::Vec3d>* points = nullptr;
        } finder;
        finder.points = &out;
        // Paths from the root: the transforms above the node count.
        const osg::NodePathList paths = node->getParentalNodePaths();
        if (paths.empty())
            return out;
        osg::NodePath above = paths.front();
        above.pop_back();
        for (osg::Node* n : above)
            finder.pushOntoNodePath(n);
        node->accept(finder);
        return out;
    }

    // How far points lie above or below the elevation model: the median and
    // the share within a distance.
    struct Agreement {
        double median = 1e9;
        int compared = 0;
    };
    static Agreement against(const GeoRaster& dsm, const std::vector<osg::Vec3d>& points)
    {
        std::vector<double> d;
        for (const osg::Vec3d& p : points) {
            const double column = (p.x() - dsm.left) / dsm.cellX - 0.5,
                         row = (dsm.top - p.y()) / dsm.cellY - 0.5;
            const int i = int(std::lround(column)), j = int(std::lround(row));
            if (i < 0 || j < 0 || i >= dsm.width || j >= dsm.height)
                continue;
            const float h = dsm.heights[size_t(j) * size_t(dsm.width) + size_t(i)];
            if (!std::isnan(h))
                d.push_back(std::abs(p.z() - h));
        }
        Agreement a;
        a.compared = int(d.size());
        if (!d.empty()) {
            std::nth_element(d.begin(), d.begin() + long(d.size() / 2), d.end());
            a.median = d[d.size() / 2];
        }
        return a;
    }

    // How far the georeference puts the registered cameras from where the survey flew them, at worst.
    double worstCamera() const
    {
        GeoReference geo;
        if (!GeoReference::read(photos("sparse.txt"), geo) || m_window->sceneView()->sparseBundles().empty())
            return 1e9; // no georeference, or no reconstruction opened
        QMap<QString, osg::Vec3d> truth;
        QFile file(m_dir.filePath("truth/cameras.txt"));
        if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
            return 1e9;
        for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
            const QStringList f = line.split(' ', Qt::SkipEmptyParts);
            if (f.size() > 9 && !line.startsWith('#'))
                truth[f[0]] = osg::Vec3d(f[7].toDouble(), f[8].toDouble(), f[9].toDouble());
        }
        double worst = 0;
        for (const auto& c : m_window->sceneView()->sparseBundles().back()->bundleCameras.front())
            worst = std::max(worst, (geo.apply(c->centre) - truth.value(QString::fromStdString(c->name))).length());
        return worst;
    }

    QStandardItem* layerItem(LayerType::Code type, const QString& name) const
    {
        return m_window->layers()->findLayerItem(type, name);
    }

private slots:
    void initTestCase()
    {
        Q_INIT_RESOURCE(images);
        qApp->setQuitOnLastWindowClosed(false);
        QVERIFY(m_dir.isValid());
        SurveyWriter::Settings survey;
        survey.flight.photos = 12;
        survey.flight.width = 1024;
        survey.flight.height = 768;
        survey.gpsNoise = 2;
        survey.seed = survey.flight.seed = 3;
        std::ostringstream progress;
        std::string error;
        QVERIFY2(SurveyWriter::write(survey, m_dir.path().toStdString(), progress, &error), error.c_str());
        const QRegularExpressionMatch sample = QRegularExpression("at about ([0-9.]+) cm per pixel")
                                                   .match(QString::fromStdString(progress.str()));
        QVERIFY(sample.hasMatch());
        m_groundSample = sample.captured(1).toDouble() / 100;

        ScanSettings::global() = ScanSettings();
        m_window = std::make_unique<MainWindow>(MainWindow::Edition::Orvalis);
        for (const QString& name : QDir(photos()).entryList({"*.JPG"}, QDir::Files, QDir::Name))
            m_window->imageList()->addImage(photos(name), name);
    }

    // Sparse, dense and the rasters of one reconstruction, opened together:
    // all at survey coordinates, within a ground sample of each other.
    void everyResultStandsAtSurveyCoordinates()
    {
        QVERIFY(run("&Run Sparse", "Sparse Reconstruction is done!"));
        QVERIFY(run("&Run Dense", "Dense Reconstruction is done!"));
        QVERIFY(run("&Orthophoto and DSM", "Orthophoto and DSM written"));
        m_window->addDataFiles(
            {photos("sparse.nvm"), photos("pmvs/models/option-0000.ply"), photos("ortho/dsm.tif")});
        LayerTree* layers = m_window->layers();
        QCOMPARE(layers->layerCount(LayerType::Bundle), 1);
        QCOMPARE(layers->layerCount(LayerType::PointCloud), 1);
        QCOMPARE(layers->layerCount(LayerType::Terrain), 1);

        GeoRaster dsm;
        QString error;
        QVERIFY2(GeoRaster::read(photos("ortho/dsm.tif"), 100000, dsm, &error), qPrintable(error));
        OsgWidget* scene = m_window->sceneView();
        const Agreement sparse =
            against(dsm, worldPoints(scene->sparseBundles().front()->sparsePoints.front().get()));
        const Agreement dense = against(dsm, worldPoints(scene->pointClouds().front().get()));
        const Agreement terrain = against(dsm, worldPoints(scene->terrains().front().get()));
        qInfo(
            "ground sample %.3f m; median height off the DSM: sparse %.4f m (%d points), dense %.4f m (%d), "
            "terrain mesh %.4f m (%d)",
            m_groundSample, sparse.median, sparse.compared, dense.median, dense.compared, terrain.median,
            terrain.compared);
        QVERIFY(sparse.compared > 500 && dense.compared > 10000 && terrain.compared > 1000);
        QVERIFY(sparse.median < m_groundSample);
        QVERIFY(dense.median < m_groundSample);
        QVERIFY(terrain.median < m_groundSample);
        for (const LayerTree::Layer& l : layers->layers())
            QVERIFY2(layers->staleReason(l.id).isEmpty(), qPrintable(layers->staleReason(l.id)));
    }

    // The survey's targets fitted as control points (every second one a
    // check point): the adjusted reconstruction moves to them, and what was
    // made from the mapper's cameras (the cloud, the rasters) is stale.
    void controlPointFitMovesTheResultsAndMarksTheRastersStale()
    {
        GroundControl* control = m_window->findChild<GroundControl*>();
        GeoRef* dock = m_window->findChild<GeoRef*>();
        QVERIFY(control && dock);
        QVERIFY2(control->importFile(m_dir.filePath("gcp_list.txt"), photos("sparse.nvm")), qPrintable(logText()));
        for (int row = 1; row < dock->table()->rowCount(); row += 2)
            dock->table()->item(row, GeoRef::Check)->setCheckState(Qt::Checked);
        const double gps = worstCamera();
        control->fitScene();
        ProductRecord record;
        QVERIFY(ProductRecord::read(photos(), ProductRecord::georeference, &record));
        QCOMPARE(record.method, QString("control points"));
        const double fitted = worstCamera();
        qInfo("cameras at worst %.3f m from the truth with GPS, %.3f m with control points", gps, fitted);
        QVERIFY(fitted < 0.05);
        LayerTree* layers = m_window->layers();
        const QString reason = layers->staleReason(layers->idOf(LayerType::Terrain, "dsm.tif"));
        QVERIFY2(reason.startsWith("dsm.tif is stale: it was made from an earlier sparse.") &&
                     reason.endsWith("; run Orthophoto and DSM again"),
                 qPrintable(reason));
        // The adjustment moved the cameras themselves: the dense stage runs
        // again on them, and its cloud stands with its reconstruction.
        QCOMPARE(
            layers->staleReason(layers->idOf(LayerType::PointCloud, "option-0000.ply")),
            QString("option-0000.ply is stale: it was made from an earlier sparse.nvm; run Dense again"));
        QVERIFY(run("&Run Dense", "Dense Reconstruction is done!"));
        QVERIFY(layers->staleReason(layers->idOf(LayerType::PointCloud, "option-0000.ply")).isEmpty());
        GeoRaster dsm;
        QString error;
        QVERIFY(GeoRaster::read(photos("ortho/dsm.tif"), 100000, dsm, &error));
        QVERIFY(run("&Orthophoto and DSM", "Orthophoto and DSM written"));
        QVERIFY(layers->staleReason(layers->idOf(LayerType::Terrain, "dsm.tif")).isEmpty());
        GeoRaster again;
        QVERIFY(GeoRaster::read(photos("ortho/dsm.tif"), 100000, again, &error));
        const Agreement dense = against(again, worldPoints(m_window->sceneView()->pointClouds().front().get()));
        QVERIFY2(dense.median < m_groundSample, qPrintable(QString::number(dense.median)));
    }

    // A photo taken out of the list and the sparse stage run again: a new
    // reconstruction. The dense cloud and the rasters of the earlier one are
    // stale and the orthophoto refuses them; the dense stage runs on the
    // new one though the earlier run prepared one view more; then all is
    // current again.
    void photoLeftOutAndRunAgain()
    {
        MyListWidget* list = m_window->imageList();
        const QString left = list->item(list->count() - 1)->text();
        delete list->takeItem(list->count() - 1);
        QVERIFY(run("&Run Sparse", "Sparse Reconstruction is done!"));
        // The new reconstruction keeps the control-point georeference.
        ProductRecord record;
        QVERIFY(ProductRecord::read(photos(), ProductRecord::georeference, &record));
        QCOMPARE(record.method, QString("control points"));
        QVERIFY2(worstCamera() < 0.05, qPrintable(QString::number(worstCamera())));
        LayerTree* layers = m_window->layers();
        const auto stale = [layers](LayerType::Code type, const QString& name) {
            return layers->staleReason(layers->idOf(type, name));
        };
        QVERIFY(stale(LayerType::Bundle, "sparse.nvm").isEmpty());
        const SparseBundle& bundle = *m_window->sceneView()->sparseBundles().back();
        QCOMPARE(int(bundle.bundleCameras.front().size()), list->count());
        const QString dense = stale(LayerType::PointCloud, "option-0000.ply");
        QVERIFY2(dense == "option-0000.ply is stale: it was made from an earlier sparse.nvm; run Dense again",
                 qPrintable(dense));
        QVERIFY(layerItem(LayerType::PointCloud, "option-0000.ply")->font().italic());
        QVERIFY(logText().contains(dense));
        QVERIFY(!stale(LayerType::Terrain, "dsm.tif").isEmpty());

        QVERIFY(!run("&Orthophoto and DSM", "Orthophoto and DSM written"));
        QVERIFY2(m_window->statusBar()->currentMessage().contains(
                     "the dense clouds were made from an earlier sparse.nvm: run Dense again first"),
                 qPrintable(m_window->statusBar()->currentMessage()));

        QVERIFY(run("&Run Dense", "Dense Reconstruction is done!"));
        QVERIFY(stale(LayerType::PointCloud, "option-0000.ply").isEmpty());
        QVERIFY(!stale(LayerType::Terrain, "dsm.tif").isEmpty());
        QVERIFY(run("&Orthophoto and DSM", "Orthophoto and DSM written"));
        for (const LayerTree::Layer& l : layers->layers())
            QVERIFY2(layers->staleReason(l.id).isEmpty(), qPrintable(layers->staleReason(l.id)));
        QVERIFY(!logText().contains(left + " of the reconstruction is missing"));
    }
};

QTEST_MAIN(TestSurveyRoad)
#include "tst_surveyroad.moc"
