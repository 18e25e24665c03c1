#include <QtTest>

#include <osg/Geode>
#include <osg/ShapeDrawable>

#include "scene/view/GLWidget.h"
#include "scene/view/GraphicsWindowQt.h"
#include "scene/interaction/MapController.h"
#include "scene/view/OsgWidget.h"

namespace
{

// A node that changes at every update traversal, as animated scene parts do.
class Spinner : public osg::NodeCallback
{
public:
    void operator()(osg::Node* node, osg::NodeVisitor* nv) override
    {
        ++turns;
        traverse(node, nv);
    }
    int turns = 0;
};

enum Change {
    Request,
    LoadCloud,
    HideCloud,
    StandardView,
    BoxMoved,
    ServerMarker,
    MouseOverView,
    KeyInView,
    ManipulatorMoved,
};

} // namespace

// The view draws a frame when something changed and none otherwise.
class TestFramesOnDemand : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_ply;

    std::unique_ptr<OsgWidget> shownWidget()
    {
        auto w = std::make_unique<OsgWidget>(osgViewer::ViewerBase::SingleThreaded, nullptr);
        w->resize(320, 240);
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()) || !w->graphicsWindow()->hasContext())
            return nullptr;
        return w;
    }

    // Waits until the view stops drawing; false when it never does.
    static bool settles(OsgWidget& w)
    {
        QElapsedTimer clock;
        clock.start();
        quint64 last = w.glWidget()->renderedFrames();
        while (clock.elapsed() < 5000) {
            QTest::qWait(100);
            const quint64 now = w.glWidget()->renderedFrames();
            if (now == last && !w.frameWanted())
                return true;
            last = now;
        }
        return false;
    }

    static quint64 framesDuring(OsgWidget& w, int milliseconds)
    {
        const quint64 before = w.glWidget()->renderedFrames();
        QTest::qWait(milliseconds);
        return w.glWidget()->renderedFrames() - before;
    }

private slots:
    void initTestCase()
    {
        m_ply = m_dir.filePath("cloud.ply");
        QFile f(m_ply);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(
            "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
            "end_header\n0 0 0\n1 0 0\n0 1 0\n");
    }

    void idleViewDrawsNothing()
    {
        auto w = shownWidget();
        if (!w)
            QSKIP("no OpenGL context");
        QVERIFY(w->loadPointCloud(m_ply, true));
        QVERIFY(settles(*w));
        QCOMPARE(framesDuring(*w, 500), quint64(0));
    }

    void changesDrawAFrame_data()
    {
        QTest::addColumn<int>("change");
        QTest::newRow("asked for") << int(Request);
        QTest::newRow("a cloud loaded") << int(LoadCloud);
        QTest::newRow("a cloud hidden") << int(HideCloud);
        QTest::newRow("a standard view") << int(StandardView);
        QTest::newRow("the selection box moved") << int(BoxMoved);
        QTest::newRow("a marker from the ground station") << int(ServerMarker);
        QTest::newRow("the mouse over the view") << int(MouseOverView);
        QTest::newRow("a key in the view") << int(KeyInView);
        QTest::newRow("the manipulator moved by a call") << int(ManipulatorMoved);
    }
    void changesDrawAFrame()
    {
        QFETCH(int, change);
        auto w = shownWidget();
        if (!w)
            QSKIP("no OpenGL context");
        QVERIFY(w->loadPointCloud(m_ply, true));
        QVERIFY(settles(*w));
        QTest::qWait(300); // the timer slows down while nothing happens
        const quint64 before = w->glWidget()->renderedFrames();
        switch (Change(change)) {
        case Request:
            w->requestFrame();
            break;
        case LoadCloud:
            w->loadPointCloud(m_ply, true);
            break;
        case HideCloud:
            w->setLayerVisible(w->layerIds().front(), false);
            break;
        case StandardView:
            w->showFront();
            break;
        case BoxMoved:
            w->setBoxX(0.5);
            break;
        case ServerMarker:
            w->mapController()->updateFromServerPos(osg::Vec3f(0.5f, 0.5f, 0));
            break;
        case MouseOverView: {
            QMouseEvent move(QEvent::MouseMove, QPointF(40, 50), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(w->glWidget(), &move);
            break;
        }
        case KeyInView:
            QTest::keyClick(w->glWidget(), Qt::Key_A);
            break;
        case ManipulatorMoved:
            w->activeManipulator()->setByInverseMatrix(
                osg::Matrixd::lookAt(osg::Vec3d(0, 0, 30), osg::Vec3d(0, 0, 0), osg::Vec3d(0, 1, 0)));
            break;
        }
        QTRY_VERIFY(w->glWidget()->renderedFrames() > before);
        // And then it rests again.
        QVERIFY(settles(*w));
    }

    // Animated parts (update callbacks, such as smoke and changing sensor
    // colours) keep frames coming for as long as they are in the scene.
    void animationKeepsDrawingWhileInTheScene()
    {
        auto w = shownWidget();
        if (!w)
            QSKIP("no OpenGL context");
        QVERIFY(settles(*w));
        osg::ref_ptr<osg::Geode> animated = new osg::Geode;
        animated->addDrawable(new osg::ShapeDrawable(new osg::Sphere(osg::Vec3(), 1.0f)));
        osg::ref_ptr<Spinner> spinner = new Spinner;
        animated->setUpdateCallback(spinner.get());
        w->getRoot()->addChild(animated.get());
        w->requestFrame();
        QVERIFY(framesDuring(*w, 300) > 10);
        QVERIFY(spinner->turns > 10);
        w->getRoot()->removeChild(animated.get());
        w->requestFrame();
        QVERIFY(settles(*w));
        const int turns = spinner->turns;
        QCOMPARE(framesDuring(*w, 300), quint64(0));
        QCOMPARE(spinner->turns, turns);
    }
};

QTEST_MAIN(TestFramesOnDemand)
#include "tst_framesondemand.moc"
