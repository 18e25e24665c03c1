#include <QtTest>

#include <osgGA/GUIActionAdapter>
#include <osgGA/GUIEventAdapter>

#include "scene/interaction/MapManipulator.h"

using osgGA::GUIEventAdapter;

namespace
{

class NoActions : public osgGA::GUIActionAdapter
{
public:
    void requestRedraw() override {}
    void requestContinuousUpdate(bool) override {}
    void requestWarpPointer(float, float) override {}
};

const osg::Vec3d startEye(10.0, 20.0, 30.0);

// Identity orientation, so side is +x, up +y, forward -z.
void reset(MapManipulator& m)
{
    m.setByMatrix(osg::Matrixd::translate(startEye));
}

bool send(MapManipulator& m, GUIEventAdapter::EventType type, int x, int y, int buttons = 0, int key = 0)
{
    osg::ref_ptr<GUIEventAdapter> e = new GUIEventAdapter;
    e->setEventType(type);
    e->setX(float(x));
    e->setY(float(y));
    e->setButtonMask(buttons);
    e->setKey(key);
    NoActions actions;
    return m.handle(*e, actions);
}

bool scroll(MapManipulator& m, GUIEventAdapter::ScrollingMotion motion)
{
    osg::ref_ptr<GUIEventAdapter> e = new GUIEventAdapter;
    e->setEventType(GUIEventAdapter::SCROLL);
    e->setScrollingMotion(motion);
    NoActions actions;
    return m.handle(*e, actions);
}

// Press at (100, 100), then drag to each point with the button held.
void drag(MapManipulator& m, int button, const QVector<QPoint>& path)
{
    send(m, GUIEventAdapter::PUSH, 100, 100, button);
    for (const QPoint& p : path)
        send(m, GUIEventAdapter::DRAG, p.x(), p.y(), button);
}

bool near(const osg::Vec3d& a, const osg::Vec3d& b)
{
    return (a - b).length() < 1e-6;
}

bool sameMatrix(const osg::Matrixd& a, const osg::Matrixd& b)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            if (std::abs(a(r, c) - b(r, c)) > 1e-9)
                return false;
    return true;
}

QString text(const osg::Vec3d& v)
{
    return QStringLiteral("(%1, %2, %3)").arg(v.x()).arg(v.y()).arg(v.z());
}

} // namespace

Q_DECLARE_METATYPE(osg::Vec3d)

class TestMapManipulator : public QObject
{
    Q_OBJECT
private slots:
    void leftDragStepsEveryTwelvePixels_data()
    {
        QTest::addColumn<QVector<QPoint>>("path");
        QTest::addColumn<osg::Vec3d>("moved");
        QTest::addColumn<int>("baseX");
        QTest::newRow("11 right: nothing") << QVector<QPoint>{{111, 100}} << osg::Vec3d() << 100;
        QTest::newRow("12 right: 4 sideways") << QVector<QPoint>{{112, 100}} << osg::Vec3d(4, 0, 0) << 112;
        QTest::newRow("12 left") << QVector<QPoint>{{88, 100}} << osg::Vec3d(-4, 0, 0) << 88;
        QTest::newRow("12 then 12 more")
            << QVector<QPoint>{{112, 100}, {124, 100}} << osg::Vec3d(8, 0, 0) << 124;
        QTest::newRow("20 right: one step, base 12 on")
            << QVector<QPoint>{{120, 100}} << osg::Vec3d(4, 0, 0) << 112;
        QTest::newRow("12 up in y: 2 down along z")
            << QVector<QPoint>{{100, 112}} << osg::Vec3d(0, 0, -2) << 100;
        QTest::newRow("12 down in y: 2 up along z")
            << QVector<QPoint>{{100, 88}} << osg::Vec3d(0, 0, 2) << 100;
    }

    void leftDragStepsEveryTwelvePixels()
    {
        QFETCH(QVector<QPoint>, path);
        QFETCH(osg::Vec3d, moved);
        QFETCH(int, baseX);
        MapManipulator m;
        reset(m);
        drag(m, GUIEventAdapter::LEFT_MOUSE_BUTTON, path);
        const osg::Vec3d eye = m.getMatrix().getTrans();
        QVERIFY2(near(eye, startEye + moved), qPrintable(text(eye)));
        QCOMPARE(m.lastX(), baseX);
    }

    void middleAndRightNeedMoreThanAStep_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("dx");
        QTest::addColumn<int>("dy");
        QTest::addColumn<bool>("changes");
        const int middle = GUIEventAdapter::MIDDLE_MOUSE_BUTTON;
        const int right = GUIEventAdapter::RIGHT_MOUSE_BUTTON;
        QTest::newRow("middle 12 in y") << middle << 0 << 12 << false;
        QTest::newRow("middle 13 in y") << middle << 0 << 13 << true;
        QTest::newRow("middle 12 in x") << middle << 12 << 0 << false;
        QTest::newRow("middle 13 in x") << middle << 13 << 0 << true;
        QTest::newRow("right 12 in x") << right << 12 << 0 << false;
        QTest::newRow("right 13 in x") << right << 13 << 0 << true;
    }

    void middleAndRightNeedMoreThanAStep()
    {
        QFETCH(int, button);
        QFETCH(int, dx);
        QFETCH(int, dy);
        QFETCH(bool, changes);
        MapManipulator m;
        reset(m);
        const osg::Matrixd before = m.getMatrix();
        drag(m, button, {QPoint(100 + dx, 100 + dy)});
        QCOMPARE(!sameMatrix(m.getMatrix(), before), changes);
    }

    void middleVerticalStepMovesAlongUpAwayFromThePress()
    {
        MapManipulator m;
        reset(m);
        drag(m, GUIEventAdapter::MIDDLE_MOUSE_BUTTON, {QPoint(100, 113)});
        QVERIFY2(near(m.getMatrix().getTrans(), startEye + osg::Vec3d(0, 1, 0)),
                 qPrintable(text(m.getMatrix().getTrans())));
        reset(m);
        drag(m, GUIEventAdapter::MIDDLE_MOUSE_BUTTON, {QPoint(100, 87)});
        QVERIFY(near(m.getMatrix().getTrans(), startEye + osg::Vec3d(0, -1, 0)));
    }

    void rightDragTurnsAboutUp()
    {
        MapManipulator m;
        reset(m);
        drag(m, GUIEventAdapter::RIGHT_MOUSE_BUTTON, {QPoint(113, 100)});
        // Moving right yaws by -1.5 rad about up (+y here); the eye stays.
        const osg::Quat expected(-1.5, osg::Vec3d(0, 1, 0));
        const osg::Vec3d side = m.getRotation() * osg::Vec3d(1, 0, 0);
        QVERIFY2(near(side, expected * osg::Vec3d(1, 0, 0)), qPrintable(text(side)));
        QVERIFY(near(m.getMatrix().getTrans(), startEye));
    }

    void middleHorizontalStepRollsAboutForward()
    {
        MapManipulator m;
        reset(m);
        drag(m, GUIEventAdapter::MIDDLE_MOUSE_BUTTON, {QPoint(113, 100)});
        const osg::Quat expected(0.01, osg::Vec3d(0, 0, -1));
        const osg::Vec3d up = m.getRotation() * osg::Vec3d(0, 1, 0);
        QVERIFY2(near(up, expected * osg::Vec3d(0, 1, 0)), qPrintable(text(up)));
        QVERIFY(near(m.getMatrix().getTrans(), startEye));
    }

    void dragLockBlocksTheLeftButtonOnly()
    {
        MapManipulator m;
        reset(m);
        m.setDragLock(true);
        drag(m, GUIEventAdapter::LEFT_MOUSE_BUTTON, {QPoint(124, 100), QPoint(124, 124)});
        QVERIFY(near(m.getMatrix().getTrans(), startEye));

        drag(m, GUIEventAdapter::MIDDLE_MOUSE_BUTTON, {QPoint(100, 113)});
        QVERIFY(near(m.getMatrix().getTrans(), startEye + osg::Vec3d(0, 1, 0)));

        const osg::Matrixd beforeTurn = m.getMatrix();
        drag(m, GUIEventAdapter::RIGHT_MOUSE_BUTTON, {QPoint(113, 100)});
        QVERIFY(!sameMatrix(m.getMatrix(), beforeTurn));

        reset(m);
        scroll(m, GUIEventAdapter::SCROLL_UP);
        QVERIFY(near(m.getMatrix().getTrans(), startEye + osg::Vec3d(0, 0, 1)));

        m.setDragLock(false);
        reset(m);
        drag(m, GUIEventAdapter::LEFT_MOUSE_BUTTON, {QPoint(112, 100)});
        QVERIFY(near(m.getMatrix().getTrans(), startEye + osg::Vec3d(4, 0, 0)));
    }

    void scrollMovesOneUnitAlongTheViewAxis()
    {
        MapManipulator m;
        m.setByMatrix(osg::Matrixd::rotate(osg::Quat(osg::PI_2, osg::Vec3d(1, 0, 0))) *
                      osg::Matrixd::translate(startEye));
        const osg::Vec3d back = m.getRotation() * osg::Vec3d(0, 0, 1);
        scroll(m, GUIEventAdapter::SCROLL_UP);
        QVERIFY(near(m.getMatrix().getTrans(), startEye + back));
        scroll(m, GUIEventAdapter::SCROLL_DOWN);
        scroll(m, GUIEventAdapter::SCROLL_DOWN);
        QVERIFY(near(m.getMatrix().getTrans(), startEye - back));
    }

    void keysTurnTheCamera_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<double>("angle");
        QTest::addColumn<osg::Vec3d>("axis");
        QTest::newRow("a") << int('a') << -0.1 << osg::Vec3d(0, 1, 0);
        QTest::newRow("A") << int('A') << -0.1 << osg::Vec3d(0, 1, 0);
        QTest::newRow("d") << int('d') << 0.1 << osg::Vec3d(0, 1, 0);
        QTest::newRow("s") << int('s') << 0.1 << osg::Vec3d(1, 0, 0);
        QTest::newRow("W") << int('W') << -0.1 << osg::Vec3d(1, 0, 0);
        QTest::newRow("other key") << int('q') << 0.0 << osg::Vec3d(1, 0, 0);
    }

    void keysTurnTheCamera()
    {
        QFETCH(int, key);
        QFETCH(double, angle);
        QFETCH(osg::Vec3d, axis);
        MapManipulator m;
        reset(m);
        const osg::Matrixd expected = m.getMatrix() * osg::Matrixd::rotate(angle, axis);
        QVERIFY(!send(m, GUIEventAdapter::KEYDOWN, 0, 0, 0, key));
        QVERIFY(sameMatrix(m.getMatrix(), expected));
    }

    void releaseClearsTheBasesAndADragWithoutPressTakesNoStep()
    {
        MapManipulator m;
        reset(m);
        send(m, GUIEventAdapter::PUSH, 100, 100, GUIEventAdapter::LEFT_MOUSE_BUTTON);
        QCOMPARE(m.pressY(), 100);
        send(m, GUIEventAdapter::RELEASE, 100, 100, 0);
        QCOMPARE(m.lastX(), 0);
        QCOMPARE(m.lastY(), 0);
        QCOMPARE(m.pressY(), 0);
        send(m, GUIEventAdapter::DRAG, 200, 200, GUIEventAdapter::LEFT_MOUSE_BUTTON);
        QVERIFY(near(m.getMatrix().getTrans(), startEye));
    }

    void everyEventIsPassedOn()
    {
        MapManipulator m;
        reset(m);
        QVERIFY(!send(m, GUIEventAdapter::PUSH, 100, 100, GUIEventAdapter::LEFT_MOUSE_BUTTON));
        QVERIFY(!send(m, GUIEventAdapter::DRAG, 112, 100, GUIEventAdapter::LEFT_MOUSE_BUTTON));
        QVERIFY(!send(m, GUIEventAdapter::RELEASE, 112, 100, 0));
        QVERIFY(!scroll(m, GUIEventAdapter::SCROLL_UP));
    }
};

QTEST_GUILESS_MAIN(TestMapManipulator)
#include "tst_mapmanipulator.moc"
