#include <QtTest>

#include <QListWidget>

#include <osg/Texture2D>
#include <osgParticle/PointPlacer>
#include <osgParticle/RadialShooter>
#include <osgParticle/RandomRateCounter>

#include "scene/sensors/DynamicPopup.h"
#include "scene/view/GLWidget.h"
#include "scene/view/GraphicsWindowQt.h"
#include "scene/view/OsgWidget.h"
#include "PtyPair.h"
#include "scene/sensors/SensorDisplay.h"
#include "core/sensors/SensorNetwork.h"
#include "scene/sensors/SensorScene.h"
#include "scene/sensors/SensorSmoke.h"
#include "core/sensors/StreamThread.h"

// The sensor display in a real view, reading a real pseudo-terminal.

namespace
{

QByteArray frame(const QList<QByteArray>& readings)
{
    QByteArray out = "Hardware GW\n";
    for (const QByteArray& r : readings)
        out += r + "\n";
    return out + "END\n";
}

// id, temperature, humidity as a gateway line.
QByteArray reading(int id, double temperature, double humidity)
{
    return QByteArray::number(id) + "\tTH22\t" + QByteArray::number(temperature) + "\t" +
           QByteArray::number(humidity) + "\t3.3\t80";
}

bool sameColour(const osg::Vec4& a, const osg::Vec4& b)
{
    return (a - b).length() < 1e-5f;
}

osg::Vec2d windowPoint(OsgWidget& w, const osg::Vec3d& world)
{
    osg::Camera* camera = w.getCamera();
    const osg::Vec3d window = world * (camera->getViewMatrix() * camera->getProjectionMatrix() *
                                       camera->getViewport()->computeWindowMatrix());
    return osg::Vec2d(window.x(), window.y());
}

// The pixel of a grabbed image (top row first) where a scene point lands.
QPoint project(OsgWidget& w, const osg::Vec3d& world, const QImage& image)
{
    const osg::Vec2d window = windowPoint(w, world);
    return QPoint(int(std::lround(window.x())), image.height() - 1 - int(std::lround(window.y())));
}

void hover(OsgWidget& w, SensorDisplay& display, const osg::Vec2d& at)
{
    osg::ref_ptr<osgGA::GUIEventAdapter> e = new osgGA::GUIEventAdapter;
    e->setEventType(osgGA::GUIEventAdapter::MOVE);
    e->setX(float(at.x()));
    e->setY(float(at.y()));
    display.popupHandler()->handle(*e, *w.getOsgView(), nullptr, nullptr);
}

QImage grab(OsgWidget& w)
{
    return w.glWidget()->grabFramebuffer().convertToFormat(QImage::Format_RGB32);
}

// Pixels of the image inside a rectangle that differ from the background.
int painted(const QImage& image, const QRect& rect)
{
    const QRgb background = qRgb(51, 51, 153);
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (image.rect().contains(x, y) && qAbs(qBlue(image.pixel(x, y)) - qBlue(background)) > 8)
                ++n;
    return n;
}

struct Rig {
    PtyPair pty;
    QListWidget log;
    OsgWidget view{osgViewer::ViewerBase::SingleThreaded, nullptr};
    SensorDisplay display{view.getRoot(), &log, ORVALIS_APP_DIR, pty.deviceEnd()};
    QSignalSpy switched{&display, &SensorDisplay::switched};
    QSignalSpy failed{&display, &SensorDisplay::failed};

    bool start() { return pty.isReady() && display.start(); }
    void feed(const QByteArray& bytes) { QVERIFY(pty.write(bytes)); }
    const SensorNode& node(int i) const { return display.scene()->nodes()[i]; }
};

} // namespace

class TestSensorDisplay : public QObject
{
    Q_OBJECT

    QTemporaryDir m_home;

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("HOME", m_home.path().toLocal8Bit());
    }

    // A port that cannot be opened leaves the display off and says why; the
    // thread does not start.
    void missingPortLeavesTheDisplayOff()
    {
        QListWidget log;
        OsgWidget view(osgViewer::ViewerBase::SingleThreaded, nullptr);
        SensorDisplay display(view.getRoot(), &log, ORVALIS_APP_DIR, "/nonexistent/COM33");
        QSignalSpy switched(&display, &SensorDisplay::switched);
        QSignalSpy failed(&display, &SensorDisplay::failed);
        QVERIFY(!display.start());
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed[0].at(0).toString(), QString("Error"));
        QCOMPARE(switched.size(), 1);
        QCOMPARE(switched[0].at(0).toBool(), false);
        QVERIFY(!display.isRunning());
        QVERIFY(!display.streamThread()->isRunning());
        QCOMPARE(view.getRoot()->getNumChildren(), 0u);
    }

    void builtSceneBeforeAnyReading()
    {
        Rig rig;
        QVERIFY2(rig.start(), qPrintable(rig.pty.error()));
        SensorScene* scene = rig.display.scene();
        QVERIFY(rig.view.getRoot()->containsNode(scene->group()));
        const auto* perVertex = static_cast<const osg::Vec4Array*>(scene->colourPoints()->getColorArray());
        const auto* orange = static_cast<const osg::Vec4Array*>(scene->orangePoints()->getColorArray());
        QCOMPARE(perVertex->size(), size_t(9));
        QVERIFY(sameColour((*orange)[0], osg::Vec4(1, 0.5f, 0, 1)));
        for (int i = 0; i < 9; ++i) {
            QVERIFY(sameColour(scene->sphere(i)->getColor(), osg::Vec4(1, 0.1f, 0, 0.8f)));
            QVERIFY(sameColour((*perVertex)[size_t(i)], osg::Vec4(1, 0.1f, 0, 0.8f)));
            QCOMPARE(scene->popup(i)->getNodeMask(), 0u);
        }
        // Node 3's popup panel: (x + 2 ... x + 22, y - 10 ... y + 10) at z + 5.
        const osg::Vec3f p = rig.node(3).position;
        const osg::BoundingBox panel = scene->popupPanel(3)->getBoundingBox();
        QVERIFY((panel._min - osg::Vec3f(p.x() + 2, p.y() - 10, p.z() + 5)).length() < 1e-4f);
        QVERIFY((panel._max - osg::Vec3f(p.x() + 22, p.y() + 10, p.z() + 5)).length() < 1e-4f);
    }

    // Readings recolour spheres and per-vertex colours; the log view keeps
    // its own lines and holds the latest frame's entries only (it used to be
    // emptied at every frame).
    void readingsReachSceneAndLogWithoutEmptyingTheLog()
    {
        Rig rig;
        rig.log.addItem("Log Started!");
        QVERIFY2(rig.start(), qPrintable(rig.pty.error()));
        rig.feed(frame({reading(5, 35, 40), reading(6, 10, 40)}));
        rig.log.addItem("Sparse stage started");
        rig.feed(frame({reading(5, 60, 41)}) + "Hardware");
        QTRY_COMPARE(rig.display.streamThread()->framesParsed(), quint64(2));
        QTRY_VERIFY(sameColour(rig.display.scene()->sphere(5)->getColor(), osg::Vec4(1, 0, 0, 0.8f)));
        QVERIFY(sameColour(rig.display.scene()->sphere(6)->getColor(), osg::Vec4(1, 1, 0, 0.8f)));
        const auto* perVertex =
            static_cast<const osg::Vec4Array*>(rig.display.scene()->colourPoints()->getColorArray());
        QVERIFY(sameColour((*perVertex)[5], osg::Vec4(1, 0, 0, 0.8f)));
        QStringList rows;
        for (int i = 0; i < rig.log.count(); ++i)
            rows << rig.log.item(i)->text();
        QCOMPARE(rows, (QStringList{"Log Started!", "Sparse stage started",
                                    "Sensor: 5 Temp: 60 Humidity: 41 Wifi: 80"}));
    }

    void node4HumidityRaisesSmokeAtNode2()
    {
        Rig rig;
        QVERIFY2(rig.start(), qPrintable(rig.pty.error()));
        rig.feed(frame({reading(4, 30, 65)}) + frame({reading(4, 30, 72)}) + frame({reading(4, 30, 71)}) +
                 "Hardware");
        QTRY_COMPARE(rig.display.streamThread()->framesParsed(), quint64(3));
        QTRY_VERIFY(rig.display.scene()->smokeRunning());
        SensorSmoke* smoke = rig.display.scene()->smoke();
        QVERIFY(rig.display.scene()->group()->containsNode(smoke->node()));
        auto* placer = static_cast<osgParticle::PointPlacer*>(smoke->emitter()->getPlacer());
        QCOMPARE(osg::Vec3f(placer->getCenter()), rig.node(2).position);
        const osgParticle::Particle& p = smoke->particles()->getDefaultParticleTemplate();
        QCOMPARE(p.getLifeTime(), 3.0);
        QCOMPARE(p.getSizeRange().maximum, 5.0f);
        QVERIFY(sameColour(p.getColorRange().maximum, osg::Vec4(0.1f, 0.1f, 0.1f, 0.5f)));
        auto* counter = static_cast<osgParticle::RandomRateCounter*>(smoke->emitter()->getCounter());
        QCOMPARE(counter->getRateRange().minimum, 30.0f);
        auto* shooter = static_cast<osgParticle::RadialShooter*>(smoke->emitter()->getShooter());
        QCOMPARE(shooter->getPhiRange().maximum, 0.3927f);
        QCOMPARE(shooter->getInitialSpeedRange().minimum, 10.0f);
        // The texture the build drew is found and has its alpha.
        auto* texture = dynamic_cast<osg::Texture2D*>(
            smoke->particles()->getStateSet()->getTextureAttribute(0, osg::StateAttribute::TEXTURE));
        QVERIFY(texture && texture->getImage());
        QCOMPARE(texture->getImage()->s(), 128);
        QCOMPARE(texture->getImage()->getPixelFormat(), GLenum(GL_RGBA));

        QTest::qWait(20);
        QVERIFY(rig.display.scene()->smokeRunning());
        rig.feed(frame({reading(4, 30, 60)}) + "Hardware");
        QTRY_VERIFY(!rig.display.scene()->smokeRunning());
        QCOMPARE(rig.display.scene()->group()->getNumChildren(), 2u + 9u);
    }

    void deviceLostSwitchesTheDisplayOff()
    {
        Rig rig;
        QVERIFY2(rig.start(), qPrintable(rig.pty.error()));
        rig.pty.kill();
        QTRY_COMPARE(rig.failed.size(), 1);
        QCOMPARE(rig.failed[0].at(0).toString(), QString("Critical Error"));
        QCOMPARE(rig.switched.last().at(0).toBool(), false);
        QVERIFY(!rig.display.isRunning());
        QVERIFY(!rig.display.streamThread()->isRunning());
        QVERIFY(!rig.view.getRoot()->containsNode(rig.display.scene()->group()));
    }

    // Switching off joins the thread; a display destroyed while running
    // leaves no thread behind either.
    void switchingOffJoinsTheThread()
    {
        Rig rig;
        QVERIFY2(rig.start(), qPrintable(rig.pty.error()));
        QVERIFY(rig.display.streamThread()->isRunning());
        rig.display.stop();
        QVERIFY(!rig.display.streamThread()->isRunning());
        QVERIFY(!rig.view.getRoot()->containsNode(rig.display.scene()->group()));
        QVERIFY(rig.display.start());
        QVERIFY(rig.display.streamThread()->isRunning());
    }

    // In the rendered view: the spheres in their colours, the popup panel
    // with its text when the pointer is over a node, the smoke rising.
    void drawnInTheView()
    {
        Rig rig;
        rig.view.resize(800, 600);
        rig.view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&rig.view));
        QVERIFY(rig.view.graphicsWindow()->hasContext());
        QVERIFY2(rig.start(), qPrintable(rig.pty.error()));
        rig.feed(frame({reading(5, 10, 40)}) + "Hardware");
        QTRY_VERIFY(sameColour(rig.display.scene()->sphere(5)->getColor(), osg::Vec4(1, 1, 0, 0.8f)));
        rig.view.showTop();
        grab(rig.view);
        QImage image = grab(rig.view);

        const QRgb yellow = image.pixel(project(rig.view, rig.node(5).position, image));
        QVERIFY2(qRed(yellow) > 190 && qGreen(yellow) > 190 && qBlue(yellow) < 80,
                 qPrintable(QString::number(yellow, 16)));
        const QRgb red = image.pixel(project(rig.view, rig.node(0).position, image));
        QVERIFY2(qRed(red) > 190 && qGreen(red) < 80 && qBlue(red) < 80,
                 qPrintable(QString::number(red, 16)));

        const osg::Vec3f p2 = rig.node(2).position;
        const QPoint at = project(rig.view, p2, image);
        const QRect around(at - QPoint(30, 30), QSize(61, 61));
        const int before = painted(image, around);
        rig.display.setSmoke(true);
        for (int i = 0; i < 30; ++i) {
            QTest::qWait(40);
            image = grab(rig.view);
        }
        osgParticle::ParticleSystem* particles = rig.display.scene()->smoke()->particles();
        QVERIFY(particles->numParticles() - particles->numDeadParticles() > 10);
        QVERIFY2(painted(image, around) > before + 20,
                 qPrintable(QString("%1 -> %2").arg(before).arg(painted(image, around))));

        // Close above node 4 and its popup's place.
        const osg::Vec3f p4 = rig.node(4).position;
        osgGA::CameraManipulator* manipulator = rig.view.activeManipulator();
        manipulator->setHomePosition(p4 + osg::Vec3d(12, 0, 60), p4 + osg::Vec3d(12, 0, 0),
                                     osg::Vec3d(0, 1, 0));
        manipulator->home(0.0);
        image = grab(rig.view);
        const QRect panel = QRect(project(rig.view, p4 + osg::Vec3f(3, -9, 5), image),
                                  project(rig.view, p4 + osg::Vec3f(21, 9, 5), image))
                                .normalized();
        QCOMPARE(painted(image, panel), 0);
        hover(rig.view, rig.display, windowPoint(rig.view, p4));
        QCOMPARE(rig.display.scene()->popupNode(), 4);
        image = grab(rig.view);
        int dark = 0;
        int bright = 0;
        for (int y = panel.top(); y <= panel.bottom(); ++y) {
            for (int x = panel.left(); x <= panel.right(); ++x) {
                dark += qGray(image.pixel(x, y)) < 50;
                bright += qGray(image.pixel(x, y)) > 160;
            }
        }
        const int area = panel.width() * panel.height();
        QVERIFY2(dark > area / 2 && bright > area / 50,
                 qPrintable(QString("%1 %2 of %3").arg(dark).arg(bright).arg(area)));
        hover(rig.view, rig.display, windowPoint(rig.view, p4 + osg::Vec3f(0, -15, 0)));
        QCOMPARE(rig.display.scene()->popupNode(), -1);
    }
};

QTEST_MAIN(TestSensorDisplay)
#include "tst_sensordisplay.moc"
