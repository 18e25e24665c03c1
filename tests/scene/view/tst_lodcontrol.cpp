#include <QtTest>

#include "scene/view/LodControl.h"

class TestLodControl : public QObject
{
    Q_OBJECT
private slots:
    void adjustsScale_data()
    {
        QTest::addColumn<double>("elapsed");
        QTest::addColumn<int>("frames");
        QTest::addColumn<double>("scale");
        QTest::addColumn<double>("expected");
        QTest::newRow("slow: more LOD scale") << 0.5 << 5 << 1.0 << 1.1; // 10 fps
        QTest::newRow("just below 20") << 1.0 << 19 << 2.0 << 2.2;
        QTest::newRow("20 fps keeps") << 1.0 << 20 << 2.0 << 2.0;
        QTest::newRow("50 fps keeps") << 1.0 << 50 << 2.0 << 2.0;
        QTest::newRow("fast: less LOD scale") << 0.5 << 30 << 2.2 << 2.0; // 60 fps
        QTest::newRow("fast but at 1") << 0.5 << 30 << 1.0 << 1.0;
        QTest::newRow("not a quarter second yet") << 0.25 << 1 << 1.0 << 1.0;
        QTest::newRow("slow, but at the coarsest") << 0.5 << 1 << 99.0 << 100.0;
    }
    void adjustsScale()
    {
        QFETCH(double, elapsed);
        QFETCH(int, frames);
        QFETCH(double, scale);
        QFETCH(double, expected);
        LodControl lod;
        lod.enable(10.0, 100);
        QVERIFY(qFuzzyCompare(lod.update(10.0 + elapsed, 100 + unsigned(frames), scale), expected));
    }

    void measuresFromTheLastCheck()
    {
        LodControl lod;
        QCOMPARE(lod.update(100.0, 1, 1.0), 1.0); // off until enabled
        lod.enable(0.0, 0);
        QVERIFY(qFuzzyCompare(lod.update(1.0, 5, 1.0), 1.1));
        // The next interval starts at t = 1 s, frame 5: 0.2 s is too short.
        QVERIFY(qFuzzyCompare(lod.update(1.2, 50, 1.1), 1.1));
        // 60 frames in 0.5 s = 120 fps.
        QVERIFY(qFuzzyCompare(lod.update(1.5, 65, 1.1), 1.0));
    }

    // Frames come on demand: ten idle seconds and then one frame are not a
    // frame rate of 0.1 per second.
    void idleTimeIsNoSlowness()
    {
        LodControl lod;
        lod.enable(0.0, 0);
        QVERIFY(qFuzzyCompare(lod.update(0.1, 10, 2.0), 2.0));
        lod.pause();
        QVERIFY(qFuzzyCompare(lod.update(10.1, 11, 2.0), 2.0));
        // Measured from the frame after the pause: 30 frames in 0.3 s.
        QVERIFY(qFuzzyCompare(lod.update(10.4, 41, 2.0), 2.0 / 1.1));
    }
};

QTEST_GUILESS_MAIN(TestLodControl)
#include "tst_lodcontrol.moc"
