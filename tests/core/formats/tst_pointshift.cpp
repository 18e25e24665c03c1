#include <QtTest>

#include "core/formats/PointShift.h"
#include "core/formats/SceneOrigin.h"

Q_DECLARE_METATYPE(osg::Vec3d)

class TestPointShift : public QObject
{
    Q_OBJECT
private slots:
    // The first point decides for the whole layer.
    void firstPointDecides_data()
    {
        QTest::addColumn<osg::Vec3d>("first");
        QTest::addColumn<bool>("sceneHasOrigin");
        QTest::addColumn<osg::Vec3d>("offset");
        QTest::addColumn<bool>("chooses");
        const osg::Vec3d site(712345.674, 4123456.781, 101.752);
        const osg::Vec3d scene(700000, 4100000, 0);
        QTest::newRow("near the origin") << osg::Vec3d(12.5, -3, 1) << false << osg::Vec3d() << false;
        QTest::newRow("first large layer chooses its kilometre corner")
            << site << false << osg::Vec3d(712000, 4123000, 0) << true;
        QTest::newRow("later large layers take the scene's") << site << true << scene << false;
        QTest::newRow("near layer in a scene with an origin") << osg::Vec3d(1, 2, 3) << true << osg::Vec3d() << false;
        QTest::newRow("only the height is large") << osg::Vec3d(5, 5, 250000) << false << osg::Vec3d(0, 0, 250000)
                                                  << true;
        QTest::newRow("an outlier is no origin") << osg::Vec3d(1e30, 0, 0) << false << osg::Vec3d() << false;
    }
    void firstPointDecides()
    {
        QFETCH(osg::Vec3d, first);
        QFETCH(bool, sceneHasOrigin);
        QFETCH(osg::Vec3d, offset);
        QFETCH(bool, chooses);
        PointShift shift(sceneHasOrigin ? SceneOrigin(osg::Vec3d(700000, 4100000, 0)) : SceneOrigin());
        shift.toLocal(first);
        // Later points do not move the decision.
        shift.toLocal(osg::Vec3d(0, 0, 0));
        QCOMPARE(shift.offset(), offset);
        QCOMPARE(shift.chosenOrigin().isSet(), chooses);
        if (chooses)
            QCOMPARE(shift.chosenOrigin().value(), offset);
    }

    // Read as double, stored as float relative to the offset, given back
    // with the decimals of the file: every point to the millimetre and better.
    void pointsComeBackAsRead()
    {
        PointShift shift;
        const osg::Vec3d points[] = {{712345.674, 4123456.781, 101.752},
                                     {712019.9999, 4123987.0001, 95.0},
                                     {711980.25, 4122990.5, 94.125}};
        for (const osg::Vec3d& p : points) {
            const osg::Vec3 local = shift.toLocal(p);
            QVERIFY(std::fabs(local.x()) < 1000 && std::fabs(local.y()) < 1000);
            QCOMPARE(shift.toWorld(local), p);
        }
    }

    // A cloud moved after reading (by its georeference) decides again.
    void restartDecidesAgain()
    {
        PointShift shift;
        shift.toLocal(osg::Vec3d(1, 2, 3));
        QVERIFY(!shift.isShifted());
        shift.restart();
        shift.toLocal(osg::Vec3d(712345.674, 4123456.781, 101.752));
        QCOMPARE(shift.offset(), osg::Vec3d(712000, 4123000, 0));
    }

    void originIsSaidShortly()
    {
        QCOMPARE(SceneOrigin(osg::Vec3d(712000, 4123000, 0)).text(), QString("712000, 4123000, 0"));
        QCOMPARE(SceneOrigin::gridCorner(osg::Vec3d(712499.9, -4123500.1, -95)),
                 osg::Vec3d(712000, -4124000, 0));
    }
};

QTEST_GUILESS_MAIN(TestPointShift)
#include "tst_pointshift.moc"
