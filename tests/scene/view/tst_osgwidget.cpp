#include <QtTest>

#include <osg/ComputeBoundsVisitor>
#include <osg/MatrixTransform>
#include <osgGA/KeySwitchMatrixManipulator>

#include "core/log/LogSink.h"
#include "scene/layers/BundleSceneBuilder.h"
#include "scene/interaction/MapManipulator.h"
#include "scene/view/OsgWidget.h"
#include "scene/layers/PointCloudLoader.h"
#include "scene/layers/PointGeometry.h"
#include "scene/view/ViewStatsHandler.h"
#include "scene/sensors/SensorDisplay.h"
#include "scene/sensors/SensorScene.h"

#include <QTemporaryDir>

namespace
{

// A bundle of one model: `points` points along x and `cameras` cameras.
struct SyntheticBundle {
    std::unique_ptr<SparseBundle> bundle = std::make_unique<SparseBundle>();
    NvmReader::VertexArrays vertices;
    NvmReader::ColourArrays colours;
};

SyntheticBundle makeBundle(int points, int cameras, const osg::Vec3& offset = osg::Vec3())
{
    SyntheticBundle b;
    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    for (int i = 0; i < points; ++i) {
        v->push_back(offset + osg::Vec3(float(i), float(i % 3), 0.0f));
        c->push_back(osg::Vec4(1, 0, 0, 1));
    }
    b.vertices.push_back(v);
    b.colours.push_back(c);
    SparseBundle::CameraList list;
    for (int i = 0; i < cameras; ++i) {
        auto camera = std::make_unique<BundleCamera>();
        camera->name = "img" + std::to_string(i) + ".jpg";
        camera->centre = offset + osg::Vec3(float(i), 0.0f, 5.0f);
        list.push_back(std::move(camera));
    }
    b.bundle->bundleCameras.push_back(std::move(list));
    return b;
}

OsgWidget::LayerId addBundle(OsgWidget& w, SyntheticBundle&& b, bool visible = true,
                             const GeoReference* geo = nullptr)
{
    return w.addBundle(std::move(b.bundle), b.vertices, b.colours, geo, visible);
}

osg::Vec3d managedEye(OsgWidget& w)
{
    return w.activeManipulator()->getMatrix().getTrans();
}

bool near(const osg::Vec3d& a, const osg::Vec3d& b, double tolerance = 1e-6)
{
    return (a - b).length() <= tolerance * std::max(1.0, b.length());
}

// A PLY file of the given points, as a surveyor's software writes them.
QString writeCloud(const QString& file, const QByteArray& points, int count)
{
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly))
        return QString();
    out.write("ply\nformat ascii 1.0\nelement vertex " + QByteArray::number(count) +
              "\nproperty double x\nproperty double y\nproperty double z\nend_header\n" + points);
    return file;
}

// A small hill of points around (0, 0, 0), kept relative to site.
osg::ref_ptr<osg::Group> hillAt(const osg::Vec3d& site)
{
    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    for (int i = 0; i < 200; ++i) {
        v->push_back(osg::Vec3(float(i % 20) * 0.37f, float(i / 20) * 0.53f, std::sin(float(i)) * 0.2f));
        c->push_back(osg::Vec4(1, 1, 1, 1));
    }
    osg::ref_ptr<osg::Group> group = new osg::Group;
    group->addChild(PointGeometry::makeGeode(v.get(), c.get()));
    return PointCloudLoader::placeAt(group.get(), site);
}

QString text(const osg::Vec3d& v)
{
    return QStringLiteral("(%1, %2, %3)").arg(v.x()).arg(v.y()).arg(v.z());
}

} // namespace

Q_DECLARE_METATYPE(osg::Vec3d)

class TestOsgWidget : public QObject
{
    Q_OBJECT
private slots:
    void standardViewEye_data()
    {
        QTest::addColumn<QString>("view");
        QTest::addColumn<osg::Vec3d>("direction");
        QTest::newRow("Top") << "Top" << osg::Vec3d(0, 0, 1);
        QTest::newRow("Bottom") << "Bottom" << osg::Vec3d(0, 0, -1);
        QTest::newRow("Left") << "Left" << osg::Vec3d(-1, 0, 0);
        QTest::newRow("Right") << "Right" << osg::Vec3d(1, 0, 0);
        QTest::newRow("Front") << "Front" << osg::Vec3d(0, -1, 0);
        QTest::newRow("Back") << "Back" << osg::Vec3d(0, 1, 0);
    }
    void standardViewEye()
    {
        QFETCH(QString, view);
        QFETCH(osg::Vec3d, direction);
        OsgWidget w(osgViewer::ViewerBase::SingleThreaded, nullptr);
        addBundle(w, makeBundle(11, 0, osg::Vec3(100, 200, 7)));
        const osg::BoundingSphere bound = w.getRoot()->getBound();
        QVERIFY(bound.valid());

        w.showStandardView(view);

        // tan(15 deg) = 0.26795; the untouched viewport is 800 x 600.
        const double d = bound.radius() / 0.2679491924 * (800.0 / 600.0);
        const osg::Vec3d expected = bound.center() + direction * d;
        QVERIFY2(near(managedEye(w), expected), qPrintable(text(managedEye(w)) + " vs " + text(expected)));
        // The camera looks at the scene's centre.
        const osg::Matrixd m = w.activeManipulator()->getMatrix();
        const osg::Vec3d look = osg::Matrixd::transform3x3(osg::Vec3d(0, 0, -1), m);
        QVERIFY(near(look, -direction, 1e-6));
    }

    // One origin for the whole scene: the first survey layer chooses it and
    // the log channel says so; later survey layers keep their points relative to
    // it, layers near the true origin need none, and it is given up with the
    // last layer.
    void surveyLayersShareOneOrigin()
    {
        QTemporaryDir dir;
        const QString a = writeCloud(dir.filePath("a.ply"), "712345.674 4123456.781 101.752\n", 1);
        const QString b = writeCloud(dir.filePath("b.ply"), "713600.5 4122400.25 90\n", 1);
        const QString local = writeCloud(dir.filePath("local.ply"), "1 2 3\n", 1);
        QStringList origins;
        QObject subscriber;
        LogSink::subscribe(&subscriber, [&](LogLevel level, const QString& line) {
            if (level == LogLevel::Info && line.startsWith("Scene origin "))
                origins << line;
        });
        OsgWidget w(osgViewer::ViewerBase::SingleThreaded, nullptr);
        QVERIFY(!w.sceneOrigin().isSet());

        QVERIFY(w.loadPointCloud(a, true));
        QCOMPARE(w.sceneOrigin().value(), osg::Vec3d(712000, 4123000, 0));
        QCoreApplication::processEvents();
        QCOMPARE(origins.size(), 1);
        QVERIFY2(origins[0].contains("712000, 4123000, 0") && origins[0].contains(a), qPrintable(origins[0]));

        QVERIFY(w.loadPointCloud(b, true));
        QCOMPARE(PointCloudLoader::offsetOf(w.pointClouds()[1].get()), osg::Vec3d(712000, 4123000, 0));
        QVERIFY(w.loadPointCloud(local, true));
        QCOMPARE(PointCloudLoader::offsetOf(w.pointClouds()[2].get()), osg::Vec3d());
        QCoreApplication::processEvents();
        QCOMPARE(origins.size(), 1);

        const std::vector<OsgWidget::LayerId> ids = w.layerIds();
        for (OsgWidget::LayerId id : ids)
            w.removeLayer(id);
        QVERIFY(w.loadPointCloud(b, true));
        QCOMPARE(w.sceneOrigin().value(), osg::Vec3d(714000, 4122000, 0));
        QCoreApplication::processEvents();
        QCOMPARE(origins.size(), 2);
    }

    // A model at survey coordinates joins the origin the first cloud chose:
    // its floats are kept relative to it, under a transform adding it back.
    void surveyModelJoinsTheSceneOrigin()
    {
        QTemporaryDir dir;
        const QString cloud = writeCloud(dir.filePath("a.ply"), "712345.674 4123456.781 101.752\n", 1);
        QFile obj(dir.filePath("wall.obj"));
        QVERIFY(obj.open(QIODevice::WriteOnly));
        // OBJ is y-up: the plug-in turns the file's (x, y, z) into (x, -z, y).
        obj.write(
            "v 712340.5 100 -4123450.25\nv 712350.5 100 -4123450.25\nv 712340.5 102 -4123460.25\nf 1 2 3\n");
        obj.close();
        OsgWidget w(osgViewer::ViewerBase::SingleThreaded, nullptr);
        QVERIFY(w.loadPointCloud(cloud, true));
        QVERIFY(w.loadModel(obj.fileName(), true));
        osg::Node* model = w.models().front().get();
        QCOMPARE(PointCloudLoader::offsetOf(model), osg::Vec3d(712000, 4123000, 0));
        osg::ComputeBoundsVisitor bounds;
        model->accept(bounds);
        const osg::BoundingBox& box = bounds.getBoundingBox();
        QCOMPARE(osg::Vec3d(box._min), osg::Vec3d(712340.5, 4123450.25, 100));
        QCOMPARE(osg::Vec3d(box._max), osg::Vec3d(712350.5, 4123460.25, 102));
        // The origin stays while the model needs it.
        w.removeLayer(w.layerIds().front());
        QVERIFY(w.loadPointCloud(writeCloud(dir.filePath("b.ply"), "713600.5 4122400.25 90\n", 1), true));
        QCOMPARE(w.sceneOrigin().value(), osg::Vec3d(712000, 4123000, 0));
    }

    // A site at survey coordinates is framed, and returned to from a
    // bookmark, exactly as the same site near the origin: no float steps of
    // 25 cm in the view's centre.
    void surveySiteIsFramedInDouble_data()
    {
        QTest::addColumn<QString>("view");
        for (const char* view : {"Top", "Left", "Front"})
            QTest::newRow(view) << view;
    }
    void surveySiteIsFramedInDouble()
    {
        QFETCH(QString, view);
        const osg::Vec3d site(712345.674, 4123456.781, 95.5);
        OsgWidget nearOrigin(osgViewer::ViewerBase::SingleThreaded, nullptr);
        OsgWidget survey(osgViewer::ViewerBase::SingleThreaded, nullptr);
        nearOrigin.addPointCloud(hillAt(osg::Vec3d()).get(), true);
        survey.addPointCloud(hillAt(site).get(), true);
        QVERIFY((survey.sceneBound().center() - site - nearOrigin.sceneBound().center()).length() < 1e-6);

        nearOrigin.showStandardView(view);
        survey.showStandardView(view);
        const osg::Vec3d moved = managedEye(survey) - site;
        QVERIFY2((moved - managedEye(nearOrigin)).length() < 1e-6,
                 qPrintable(text(moved) + " vs " + text(managedEye(nearOrigin))));

        survey.getCamera()->setViewMatrix(survey.activeManipulator()->getInverseMatrix());
        survey.createBookmark();
        survey.showStandardView("Bottom");
        survey.goToBookmark(0);
        QVERIFY((managedEye(survey) - site - managedEye(nearOrigin)).length() < 1e-6);
    }

    void unknownViewNameDoesNothing()
    {
        OsgWidget w(osgViewer::ViewerBase::SingleThreaded, nullptr);
        addBundle(w, makeBundle(5, 0));
        const osg::Vec3d before = managedEye(w);
        w.showStandardView("Diagonal");
        w.showStandardView("top");
        QVERIFY(near(managedEye(w), before));
    }

    void firstLayerShowsTop()
    {
        OsgWidget w(osgViewer::ViewerBase::SingleThreaded, nullptr);
        // A bundle with cameras puts several nodes under the root at once.
        addBundle(w, makeBundle(20, 3, osg::Vec3(50, 60, 0)));
        QVERIFY(w.getRoot()->getNumChildren() > 1);
        const osg::BoundingSphere bound = w.getRoot()->getBound();
        const osg::Vec3d eye = managedEye(w);
        QVERIFY(near(osg::Vec3d(eye.x(), eye.y(), 0), osg::Vec3d(bound.center().x(), bound.center().y(), 0)));
        QVERIFY(eye.z() > bound.center().z() + bound.radius());

        // A second layer leaves the camera alone.
        addBundle(w, makeBundle(20, 0, osg::Vec3(-500, 0, 0)));
        QVERIFY(near(managedEye(w), eye));
    }

    // Switching the sensors on left their nodes a few pixels wide in the
    // view of whatever the scene held; they are framed from the top.
    void switchingSensorsOnFramesTheNodes()
    {
        OsgWidget w(osgViewer::ViewerBase::SingleThreaded, nullptr);
        addBundle(w, makeBundle(20, 0, osg::Vec3(5000, 0, 0)));
        w.sensors()->setSmoke(false); // builds the nodes
        const osg::BoundingSphere nodes = w.sensors()->scene()->group()->getBound();
        QVERIFY(nodes.valid());
        emit w.sensors()->switched(true);
        const osg::Vec3d eye = managedEye(w);
        QVERIFY(near(osg::Vec3d(eye.x(), eye.y(), 0), osg::Vec3d(nodes.center().x(), nodes.center().y(), 0), 1e-3));
        QVERIFY(eye.z() > nodes.center().z() + nodes.radius());
        QVERIFY(eye.z() < nodes.center().z() + 10 * nodes.radius());
    }

    void bookmarkRingDropsOldest()
    {
        OsgWidget w(osgViewer::ViewerBase::SingleThreaded, nullptr);
        addBundle(w, makeBundle(10, 0));
        for (int i = 0; i < 12; ++i) {
            w.getCamera()->setViewMatrixAsLookAt(osg::Vec3d(i, 100.0 + i, 50), osg::Vec3d(0, 0, 0),
                                                 osg::Vec3d(0, 0, 1));
            w.createBookmark();
            QCOMPARE(w.bookmarkCount(), std::min(i + 1, OsgWidget::maxBookmarks));
        }
        QVERIFY(near(w.bookmarks().front().eye, osg::Vec3d(1, 101, 50)));
        QVERIFY(near(w.bookmarks().back().eye, osg::Vec3d(11, 111, 50)));

        w.goToBookmark(0);
        QVERIFY2(near(managedEye(w), osg::Vec3d(1, 101, 50)), qPrintable(text(managedEye(w))));
        // It looks the way it looked when saved (toward the origin here),
        // not toward the first layer's centre.
        const osg::Matrixd m = w.activeManipulator()->getMatrix();
        osg::Vec3d look = osg::Matrixd::transform3x3(osg::Vec3d(0, 0, -1), m);
        osg::Vec3d toSaved = osg::Vec3d(0, 0, 0) - osg::Vec3d(1, 101, 50);
        toSaved.normalize();
        QVERIFY(near(look, toSaved, 1e-6));

        const osg::Vec3d before = managedEye(w);
        w.goToBookmark(11);
        w.goToBookmark(-1);
        QVERIFY(near(managedEye(w), before));
    }

    void bookmarkInEmptyScene()
    {
        OsgWidget w(osgViewer::ViewerBase::SingleThreaded, nullptr);
        w.getCamera()->setViewMatrixAsLookAt(osg::Vec3d(3, 4, 5), osg::Vec3d(3, 4, 0), osg::Vec3d(0, 1, 0));
        w.createBookmark();
        w.goToBookmark(0);
        QVERIFY(near(managedEye(w), osg::Vec3d(3, 4, 5)));
    }

    void hideShowRemoveBundle()
    {
        OsgWidget w(osgViewer::ViewerBase::SingleThreaded, nullptr);
        const OsgWidget::LayerId firstId = addBundle(w, makeBundle(10, 2));
        const OsgWidget::LayerId secondId = addBundle(w, makeBundle(10, 1), false);
        QVERIFY(firstId != OsgWidget::noLayer && secondId != OsgWidget::noLayer && firstId != secondId);
        QCOMPARE(w.getRoot()->getNumChildren(), 5u);
        const SparseBundle& first = *w.sparseBundles()[0];
        const SparseBundle& second = *w.sparseBundles()[1];
        QCOMPARE(w.bundleLayer(&first), firstId);
        // Not visible: hidden at once but in the scene.
        QCOMPARE(second.sparsePoints[0]->getNodeMask(), 0u);
        QCOMPARE(second.bundleCameras[0][0]->transform->getNodeMask(), 0u);
        QVERIFY(!w.layer(secondId)->isVisible());

        w.setLayerVisible(firstId, false);
        QCOMPARE(first.sparsePoints[0]->getNodeMask(), 0u);
        QCOMPARE(first.bundleCameras[0][1]->transform->getNodeMask(), 0u);
        w.setLayerVisible(firstId, true);
        QCOMPARE(first.sparsePoints[0]->getNodeMask(), ~0u);
        QCOMPARE(first.bundleCameras[0][1]->transform->getNodeMask(), ~0u);

        // Ids no layer has: nothing changes, nothing crashes.
        for (OsgWidget::LayerId id : {OsgWidget::noLayer, firstId + secondId, 100}) {
            w.setLayerVisible(id, false);
            w.removeLayer(id);
            QVERIFY(!w.layer(id));
            QVERIFY(!w.reloadLayer(id));
        }
        QCOMPARE(first.sparsePoints[0]->getNodeMask(), ~0u);
        QCOMPARE(first.bundleCameras[0][0]->transform->getNodeMask(), ~0u);
        QCOMPARE(w.getRoot()->getNumChildren(), 5u);

        const osg::ref_ptr<osg::Node> firstPoints = first.sparsePoints[0];
        w.removeLayer(firstId);
        QCOMPARE(w.getRoot()->getNumChildren(), 2u);
        QCOMPARE(int(w.sparseBundles().size()), 1);
        QCOMPARE(firstPoints->getNumParents(), 0u);
        QCOMPARE(w.bundleLayer(&second), secondId);
        w.removeLayer(firstId);
        QCOMPARE(w.getRoot()->getNumChildren(), 2u);
        QCOMPARE(second.sparsePoints[0]->getParent(0), w.getRoot());
    }

    void removeGeoreferencedBundleDetachesItsChain()
    {
        OsgWidget w(osgViewer::ViewerBase::SingleThreaded, nullptr);
        GeoReference geo;
        geo.translation.set(1000, 2000, 30);
        const OsgWidget::LayerId id = addBundle(w, makeBundle(10, 3), true, &geo);
        QCOMPARE(w.getRoot()->getNumChildren(), 4u);
        w.removeLayer(id);
        QCOMPARE(w.getRoot()->getNumChildren(), 0u);
        w.removeLayer(id);
        QCOMPARE(w.getRoot()->getNumChildren(), 0u);
    }

    void modelsAndPointClouds()
    {
        OsgWidget w(osgViewer::ViewerBase::SingleThreaded, nullptr);
        const QString missing = QDir::tempPath() + "/no-such-model-4711.osg";
        QVERIFY(!w.loadModel(missing, true));
        // A file that gives nothing adds nothing, not even an empty entry.
        QCOMPARE(int(w.models().size()), 0);
        QCOMPARE(w.getRoot()->getNumChildren(), 0u);
        QVERIFY(!w.loadTerrain(missing));
        QCOMPARE(int(w.terrains().size()), 0);

        osg::ref_ptr<osg::Vec3Array> pointsA = new osg::Vec3Array;
        pointsA->push_back(osg::Vec3(0, 0, 0));
        pointsA->push_back(osg::Vec3(1, 1, 1));
        osg::ref_ptr<osg::Vec3Array> pointsB = new osg::Vec3Array;
        pointsB->push_back(osg::Vec3(5, 0, 0));
        osg::ref_ptr<osg::Vec4Array> white2 = new osg::Vec4Array;
        white2->assign(2, osg::Vec4(1, 1, 1, 1));
        osg::ref_ptr<osg::Vec4Array> white1 = new osg::Vec4Array;
        white1->assign(1, osg::Vec4(1, 1, 1, 1));
        osg::ref_ptr<osg::Group> cloudA = BundleSceneBuilder::makePointGroup(pointsA, white2);
        osg::ref_ptr<osg::Group> cloudB = BundleSceneBuilder::makePointGroup(pointsB, white1);
        QCOMPARE(w.addPointCloud(nullptr, true), OsgWidget::noLayer);
        const OsgWidget::LayerId a = w.addPointCloud(cloudA, true);
        const OsgWidget::LayerId b = w.addPointCloud(cloudB, false);
        QVERIFY(a != OsgWidget::noLayer && b != OsgWidget::noLayer && a != b);
        QCOMPARE(cloudB->getNodeMask(), 0u);
        w.setLayerVisible(b, true);
        QCOMPARE(cloudB->getNodeMask(), ~0u);
        for (OsgWidget::LayerId bad : {OsgWidget::noLayer, a + b, 5}) {
            w.setLayerVisible(bad, false);
            w.removeLayer(bad);
            QVERIFY(!w.exportLayerCloud(bad, QDir::tempPath() + "/no-such-cloud-4711.ply"));
        }
        QCOMPARE(w.getRoot()->getNumChildren(), 2u);
        w.removeLayer(a);
        QCOMPARE(w.getRoot()->getNumChildren(), 1u);
        QCOMPARE(w.pointClouds().front().get(), static_cast<osg::Node*>(cloudB.get()));
        w.removeLayer(a);
        QCOMPARE(int(w.pointClouds().size()), 1);
    }

    void selectManipulatorDrivesTheView()
    {
        OsgWidget w(osgViewer::ViewerBase::SingleThreaded, nullptr);
        addBundle(w, makeBundle(10, 0));
        w.getCamera()->setViewMatrixAsLookAt(osg::Vec3d(0, -50, 0), osg::Vec3d(0, 0, 0), osg::Vec3d(0, 0, 1));
        w.selectManipulator(1);
        QCOMPARE(w.manipulatorSet()->getCurrentMatrixManipulator(),
                 static_cast<osgGA::CameraManipulator*>(w.mapManipulator()));
        QCOMPARE(w.activeManipulator(), static_cast<osgGA::CameraManipulator*>(w.mapManipulator()));
        // The switch keeps the camera where it was.
        QVERIFY(near(managedEye(w), osg::Vec3d(0, -50, 0), 1e-4));
        w.selectManipulator(8);
        w.selectManipulator(-1);
        QCOMPARE(w.activeManipulator(), static_cast<osgGA::CameraManipulator*>(w.mapManipulator()));
        // Standard views then move the selected manipulator.
        w.showTop();
        QVERIFY(managedEye(w).z() > 1.0);
    }

    // The statistics handler took the map manipulator's "S" (and "s") too:
    // moving the camera opened the statistics on the way.
    void statsKeysRestWhileTheMapManipulatorMoves()
    {
        OsgWidget w(osgViewer::ViewerBase::SingleThreaded, nullptr);
        addBundle(w, makeBundle(10, 0));
        const auto press = [&w](int key) {
            osg::ref_ptr<osgGA::GUIEventAdapter> down = new osgGA::GUIEventAdapter;
            down->setEventType(osgGA::GUIEventAdapter::KEYDOWN);
            down->setKey(key);
            // Every handler of the view sees the key, as in a frame.
            for (const osg::ref_ptr<osgGA::EventHandler>& handler : w.getOsgView()->getEventHandlers())
                if (auto* gui = dynamic_cast<osgGA::GUIEventHandler*>(handler.get()))
                    gui->handle(*down, *w.getOsgView());
            w.getOsgView()->getCameraManipulator()->handle(*down, *w.getOsgView());
        };
        w.selectManipulator(1); // "Map"
        const osg::Matrixd before = w.activeManipulator()->getMatrix();
        press('s');
        press('S');
        QCOMPARE(w.statsHandler()->statsType(), 0);
        QVERIFY(w.activeManipulator()->getMatrix() != before); // the camera did turn

        w.selectManipulator(0); // other manipulators leave the keys to the statistics
        press('s');
        QVERIFY(w.statsHandler()->statsType() != 0);
    }
};

QTEST_MAIN(TestOsgWidget)
#include "tst_osgwidget.moc"
