#include "core/log/LogSink.h"
#include "core/survey/ContourMaker.h"
#include "core/survey/ElevationGrid.h"
#include "scene/layers/BundleSceneBuilder.h"
#include "scene/layers/SceneLayers.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include "TestRasters.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace
{

SceneLayers::Hooks quietHooks()
{
    SceneLayers::Hooks hooks;
    hooks.frameWanted = hooks.firstLayerAdded = hooks.archiveLoaded = hooks.archivesGone = [] {};
    hooks.originChanged = [](const osg::Vec3d&) {};
    hooks.bundlePlaced = [](const SparseBundle&, const GeoReference*) {};
    return hooks;
}

bool writeText(const QString& path, const QByteArray& text)
{
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(text) == text.size();
}

// A reconstruction of one model: three points and two cameras.
SceneLayers::LayerId addSmallBundle(SceneLayers& layers)
{
    auto bundle = std::make_unique<SparseBundle>();
    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    for (int i = 0; i < 3; ++i) {
        v->push_back(osg::Vec3(float(i), 1, 0));
        c->push_back(osg::Vec4(1, 0, 0, 1));
    }
    SparseBundle::CameraList cameras;
    for (int i = 0; i < 2; ++i) {
        auto camera = std::make_unique<BundleCamera>();
        camera->name = "img" + std::to_string(i) + ".jpg";
        camera->centre = osg::Vec3(float(i), 0, 5);
        cameras.push_back(std::move(camera));
    }
    bundle->bundleCameras.push_back(std::move(cameras));
    return layers.addBundle(std::move(bundle), {v}, {c}, nullptr, true, osg::Vec3d());
}

} // namespace

class TestSceneLayers : public QObject
{
    Q_OBJECT
private slots:
    // The layers' messages reach whoever listens on the log channel, as
    // written: no list widget has to be handed down for them.
    void sceneOriginIsSaidOnTheLogChannel()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("survey.ply");
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write("ply\nformat ascii 1.0\nelement vertex 1\nproperty double x\nproperty double y\n"
                  "property double z\nend_header\n712345.674 4123456.781 101.752\n");
        out.close();

        std::vector<std::pair<LogLevel, QString>> received;
        QObject subscriber;
        LogSink::subscribe(&subscriber,
                           [&](LogLevel level, const QString& line) { received.emplace_back(level, line); });
        osg::ref_ptr<osg::Group> root = new osg::Group;
        SceneLayers layers(quietHooks(), root.get());
        QString error;
        QVERIFY2(layers.loadPointCloud(file, true, &error), qPrintable(error));
        QCoreApplication::processEvents();

        const QString said = "Scene origin 712000, 4123000, 0, taken from " + file +
                             ": its large coordinates are kept relative to it, and every position is still "
                             "shown and written in full.";
        const auto line =
            std::find_if(received.begin(), received.end(), [&](const auto& r) { return r.second == said; });
        QVERIFY2(line != received.end(), qPrintable(said));
        QCOMPARE(line->first, LogLevel::Info);
    }

    void everyKindThroughItsLayer_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("file"); // empty: made in memory
        QTest::newRow("reconstruction") << int(LayerType::Bundle) << QString();
        QTest::newRow("mesh") << int(LayerType::Mesh) << "wall.obj";
        QTest::newRow("terrain mesh") << int(LayerType::Terrain) << "wall.obj";
        QTest::newRow("raster terrain") << int(LayerType::Terrain) << "dsm.tif";
        QTest::newRow("contours") << int(LayerType::Terrain) << "contours.gpkg";
        QTest::newRow("point cloud") << int(LayerType::PointCloud) << "scan.ply";
        QTest::newRow("points") << int(LayerType::Points) << QString();
        QTest::newRow("polygons") << int(LayerType::Polygons) << QString();
    }

    // Each kind of layer is shown, hidden and removed through its object,
    // and an id that no layer has any more is refused without harm.
    void everyKindThroughItsLayer()
    {
        QFETCH(int, type);
        QFETCH(QString, file);
        QTemporaryDir dir;
        QVERIFY(writeText(dir.filePath("wall.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 1\nf 1 2 3\n"));
        QVERIFY(writeText(dir.filePath("scan.ply"), "ply\nformat ascii 1.0\nelement vertex 2\nproperty float x\n"
                                                    "property float y\nproperty float z\nend_header\n"
                                                    "0 0 0\n1 2 3\n"));
        TestRasters::Spec slope;
        slope.value = [](int, int column, int) { return 100.0 + column; };
        QVERIFY(TestRasters::write(dir.filePath("dsm.tif"), slope));
        if (file == "contours.gpkg") {
            ElevationGrid grid;
            QString error;
            QVERIFY2(ElevationGrid::read(dir.filePath("dsm.tif"), grid, &error), qPrintable(error));
            ContourMaker::Settings settings;
            settings.interval = 1;
            settings.minCells = 1;
            ContourMaker::Result made;
            QVERIFY2(ContourMaker::make(grid, settings, dir.filePath(file), QString(), made, &error),
                     qPrintable(error));
        }

        osg::ref_ptr<osg::Group> root = new osg::Group;
        SceneLayers layers(quietHooks(), root.get());
        const LayerType::Code kind = LayerType::Code(type);
        SceneLayers::LayerId id = 7;
        QString error;
        if (kind == LayerType::Bundle)
            id = addSmallBundle(layers);
        else if (file.isEmpty())
            QVERIFY(layers.addAnnotationLayer(id, kind, true, QCoreApplication::applicationDirPath()));
        else
            QVERIFY2(layers.loadLayer(id, kind, dir.filePath(file), true, &error), qPrintable(error));
        QVERIFY(!layers.loadLayer(id, LayerType::Mesh, dir.filePath("wall.obj"), true, &error));

        const SceneLayer* layer = layers.layer(id);
        QVERIFY(layer);
        QCOMPARE(int(layer->type()), type);
        QCOMPARE(layer->options().id, id);
        QCOMPARE(layer->file(), file.isEmpty() ? QString() : dir.filePath(file));
        osg::ref_ptr<osg::Node> node = layer->node();
        QVERIFY(node);
        QVERIFY(layers.layerTop(id));

        layers.setLayerVisible(id, false);
        QVERIFY(!layer->isVisible());
        QCOMPARE(node->getNodeMask(), 0u);
        QVERIFY(!layers.layerTop(id));
        layers.setLayerVisible(id, true);
        QVERIFY(layer->isVisible());
        QVERIFY(node->getNodeMask() != 0u);
        QVERIFY(layers.layerTop(id));

        layers.removeLayer(id);
        QVERIFY(!layers.layer(id));
        QVERIFY(layers.layerIds().empty());
        QCOMPARE(root->getNumChildren(), 0u);

        // The id is gone: every call by it is refused or does nothing.
        layers.setLayerVisible(id, true);
        layers.removeLayer(id);
        layers.toggleAnnotationLabels(id);
        QVERIFY(!layers.layerNode(id));
        QVERIFY(!layers.layerTop(id));
        QVERIFY(layers.layerFile(id).isEmpty());
        QCOMPARE(layers.layerSummary(id).points, -1LL);
        QVERIFY(!layers.reloadLayer(id, &error));
        QString message;
        QVERIFY(!layers.exportLayerCloud(id, dir.filePath("out.ply"), &message));
        QVERIFY(!message.isEmpty());
        QVERIFY(!layers.saveAnnotationLayer(id, dir.filePath("out.kml"), &error));
        QCOMPARE(node->getNodeMask(), 0u);
        QCOMPARE(root->getNumChildren(), 0u);
    }
};

QTEST_MAIN(TestSceneLayers)
#include "tst_scenelayers.moc"
