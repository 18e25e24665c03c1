#include <QtTest>

#include <osgGA/EventQueue>

#include "scene/view/GLWidget.h"
#include "scene/view/GraphicsWindowQt.h"

using osgGA::GUIEventAdapter;

// Drives the Qt side of the adapter with QTest and reads what OSG's event
// queue received, as manipulators and handlers would see it.
class TestGLWidget : public QObject
{
    Q_OBJECT

    osg::ref_ptr<GraphicsWindowQt> m_window;
    QWidget* m_parent = nullptr;

    osgGA::EventQueue::Events take()
    {
        osgGA::EventQueue::Events events;
        m_window->getEventQueue()->takeEvents(events);
        return events;
    }

    // Last (or first) event of the given type, with everything else dropped.
    osg::ref_ptr<GUIEventAdapter> lastOf(GUIEventAdapter::EventType type, bool first = false)
    {
        osg::ref_ptr<GUIEventAdapter> found;
        for (const auto& e : take()) {
            if (auto* ea = e->asGUIEventAdapter(); ea && ea->getEventType() == type) {
                found = ea;
                if (first)
                    break;
            }
        }
        return found;
    }

private slots:
    void init()
    {
        m_parent = new QWidget;
        m_window = new GraphicsWindowQt(GraphicsWindowQt::defaultTraits().get(), m_parent);
        m_window->getGLWidget()->resize(400, 300);
        // Resize events reach a widget only once it is shown.
        m_parent->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_parent));
        take();
    }
    void cleanup()
    {
        delete m_parent;
        m_window = nullptr;
    }

    void mouseButtons_data()
    {
        QTest::addColumn<int>("qtButtonValue");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("mask");
        QTest::newRow("left") << int(Qt::LeftButton) << Qt::KeyboardModifiers()
                              << int(GUIEventAdapter::LEFT_MOUSE_BUTTON) << 0;
        QTest::newRow("left+Control")
            << int(Qt::LeftButton) << Qt::KeyboardModifiers(Qt::ControlModifier)
            << int(GUIEventAdapter::LEFT_MOUSE_BUTTON) << int(GUIEventAdapter::MODKEY_CTRL);
        QTest::newRow("middle+Shift")
            << int(Qt::MiddleButton) << Qt::KeyboardModifiers(Qt::ShiftModifier)
            << int(GUIEventAdapter::MIDDLE_MOUSE_BUTTON) << int(GUIEventAdapter::MODKEY_SHIFT);
        QTest::newRow("right+Control+Alt")
            << int(Qt::RightButton) << Qt::KeyboardModifiers(Qt::ControlModifier | Qt::AltModifier)
            << int(GUIEventAdapter::RIGHT_MOUSE_BUTTON)
            << int(GUIEventAdapter::MODKEY_CTRL | GUIEventAdapter::MODKEY_ALT);
    }
    void mouseButtons()
    {
        QFETCH(int, qtButtonValue);
        const auto qtButton = Qt::MouseButton(qtButtonValue);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(int, button);
        QFETCH(int, mask);
        GLWidget* gl = m_window->getGLWidget();
        const qreal s = gl->devicePixelRatioF();

        QTest::mousePress(gl, qtButton, modifiers, QPoint(120, 80));
        osg::ref_ptr<GUIEventAdapter> push = lastOf(GUIEventAdapter::PUSH);
        QVERIFY(push);
        QCOMPARE(push->getButton(), button);
        QCOMPARE(push->getButtonMask(), button);
        QCOMPARE(push->getModKeyMask(), mask);
        QCOMPARE(push->getX(), float(120 * s));
        QCOMPARE(push->getY(), float(80 * s));
        // Qt's y grows downwards, and so must the normalised y handlers use.
        QVERIFY(push->getYnormalized() > 0.0f);

        QMouseEvent move(QEvent::MouseMove, QPointF(200, 150), qtButton, qtButton, modifiers);
        QApplication::sendEvent(gl, &move);
        osg::ref_ptr<GUIEventAdapter> drag = lastOf(GUIEventAdapter::DRAG);
        QVERIFY(drag);
        QCOMPARE(drag->getX(), float(200 * s));
        QCOMPARE(drag->getModKeyMask(), mask);

        QTest::mouseRelease(gl, qtButton, modifiers, QPoint(200, 150));
        osg::ref_ptr<GUIEventAdapter> release = lastOf(GUIEventAdapter::RELEASE);
        QVERIFY(release);
        QCOMPARE(release->getButton(), button);
        QCOMPARE(release->getButtonMask(), 0);

        // Without a button held, motion is passive.
        QMouseEvent hover(QEvent::MouseMove, QPointF(10, 10), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(gl, &hover);
        QVERIFY(lastOf(GUIEventAdapter::MOVE));
    }

    void keys_data()
    {
        QTest::addColumn<int>("qtKey");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("unmodified");
        QTest::addColumn<int>("mask");
        const auto none = Qt::KeyboardModifiers();
        const auto ctrl = Qt::KeyboardModifiers(Qt::ControlModifier);
        QTest::newRow("a") << int(Qt::Key_A) << none << int('a') << int('a') << 0;
        QTest::newRow("Control+a") << int(Qt::Key_A) << ctrl << int('a') << int('a')
                                   << int(GUIEventAdapter::MODKEY_CTRL);
        QTest::newRow("Shift+w") << int(Qt::Key_W) << Qt::KeyboardModifiers(Qt::ShiftModifier) << int('W')
                                 << int('w') << int(GUIEventAdapter::MODKEY_SHIFT);
        QTest::newRow("digit 1") << int(Qt::Key_1) << none << int('1') << int('1') << 0;
        QTest::newRow("space") << int(Qt::Key_Space) << none << int(GUIEventAdapter::KEY_Space)
                               << int(GUIEventAdapter::KEY_Space) << 0;
        QTest::newRow("Control key") << int(Qt::Key_Control) << ctrl << int(GUIEventAdapter::KEY_Control_L)
                                     << int(GUIEventAdapter::KEY_Control_L)
                                     << int(GUIEventAdapter::MODKEY_LEFT_CTRL);
        QTest::newRow("left arrow") << int(Qt::Key_Left) << none << int(GUIEventAdapter::KEY_Left)
                                    << int(GUIEventAdapter::KEY_Left) << 0;
        QTest::newRow("F5") << int(Qt::Key_F5) << none << int(GUIEventAdapter::KEY_F5)
                            << int(GUIEventAdapter::KEY_F5) << 0;
    }
    void keys()
    {
        QFETCH(int, qtKey);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(int, key);
        QFETCH(int, unmodified);
        QFETCH(int, mask);
        GLWidget* gl = m_window->getGLWidget();
        QTest::keyPress(gl, Qt::Key(qtKey), modifiers);
        osg::ref_ptr<GUIEventAdapter> down = lastOf(GUIEventAdapter::KEYDOWN);
        QVERIFY(down);
        QCOMPARE(down->getKey(), key);
        QCOMPARE(down->getUnmodifiedKey(), unmodified);
        QVERIFY2((down->getModKeyMask() & mask) == mask,
                 qPrintable(QString::number(down->getModKeyMask(), 16)));
        QTest::keyRelease(gl, Qt::Key(qtKey), modifiers & ~Qt::ControlModifier);
        // QTest releases the modifier keys after the key itself.
        osg::ref_ptr<GUIEventAdapter> up = lastOf(GUIEventAdapter::KEYUP, true);
        QVERIFY(up);
        QCOMPARE(up->getKey(), key);
        QCOMPARE(up->getModKeyMask() & GUIEventAdapter::MODKEY_CTRL, 0);
    }

    void wheel_data()
    {
        QTest::addColumn<QPoint>("delta");
        QTest::addColumn<int>("motion");
        QTest::newRow("up") << QPoint(0, 120) << int(GUIEventAdapter::SCROLL_UP);
        QTest::newRow("down") << QPoint(0, -120) << int(GUIEventAdapter::SCROLL_DOWN);
        QTest::newRow("left") << QPoint(120, 0) << int(GUIEventAdapter::SCROLL_LEFT);
        QTest::newRow("right") << QPoint(-120, 0) << int(GUIEventAdapter::SCROLL_RIGHT);
    }
    void wheel()
    {
        QFETCH(QPoint, delta);
        QFETCH(int, motion);
        GLWidget* gl = m_window->getGLWidget();
        QWheelEvent event(QPointF(50, 50), QPointF(gl->mapToGlobal(QPoint(50, 50))), QPoint(), delta,
                          Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(gl, &event);
        osg::ref_ptr<GUIEventAdapter> scroll = lastOf(GUIEventAdapter::SCROLL);
        QVERIFY(scroll);
        QCOMPARE(int(scroll->getScrollingMotion()), motion);
        QCOMPARE(scroll->getModKeyMask(), int(GUIEventAdapter::MODKEY_CTRL));
    }

    void resizeReachesCameraAndHandlers()
    {
        osg::ref_ptr<osg::Camera> camera = new osg::Camera;
        camera->setGraphicsContext(m_window.get());
        camera->setViewport(0, 0, 800, 600);
        GLWidget* gl = m_window->getGLWidget();
        const qreal s = gl->devicePixelRatioF();
        gl->resize(640, 200);
        QCOMPARE(int(camera->getViewport()->width()), qRound(640 * s));
        QCOMPARE(int(camera->getViewport()->height()), qRound(200 * s));
        osg::ref_ptr<GUIEventAdapter> resize = lastOf(GUIEventAdapter::RESIZE);
        QVERIFY(resize);
        QCOMPARE(resize->getWindowWidth(), qRound(640 * s));
        QCOMPARE(resize->getWindowHeight(), qRound(200 * s));
        camera->setGraphicsContext(nullptr);
    }
};

QTEST_MAIN(TestGLWidget)
#include "tst_glwidget.moc"
