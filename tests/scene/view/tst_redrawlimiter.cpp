#include <QtTest>

#include "scene/view/RedrawLimiter.h"

// Sensor readings at 40 a second once drew 40 frames a second.
class TestRedrawLimiter : public QObject
{
    Q_OBJECT
private slots:
    void readingsDrawAtMostTheUsefulRate_data()
    {
        QTest::addColumn<int>("readingEveryMs");
        QTest::newRow("40 a second") << 25;
        QTest::newRow("10 a second") << 100;
        QTest::newRow("5 a second") << 200;
    }
    void readingsDrawAtMostTheUsefulRate()
    {
        QFETCH(int, readingEveryMs);
        // The view's side: a change draws now or arms one timer; changes
        // while it is armed share its frame.
        RedrawLimiter limiter(10);
        QVector<qint64> frames;
        qint64 armedUntil = -1;
        qint64 lastReading = 0;
        int readings = 0;
        for (qint64 now = 0; now <= 1000; ++now) {
            if (armedUntil == now) {
                limiter.drawn(now);
                frames << now;
                armedUntil = -1;
            }
            if (now % readingEveryMs != 0)
                continue;
            lastReading = now;
            ++readings;
            if (armedUntil >= 0)
                continue;
            const qint64 wait = limiter.change(now);
            if (wait == 0)
                frames << now;
            else
                armedUntil = now + wait;
        }
        if (armedUntil >= 0)
            frames << armedUntil; // the last reading's frame, still to come
        for (int i = 1; i < frames.size(); ++i)
            QVERIFY2(frames[i] - frames[i - 1] >= 100, qPrintable(QString::number(frames[i])));
        // The newest reading is drawn within a tenth of a second.
        QVERIFY(frames.last() >= lastReading && frames.last() - lastReading <= 100);
        // Readings no faster than the rate are each drawn at once.
        if (readingEveryMs >= 100)
            QCOMPARE(frames.size(), readings);
    }
};

QTEST_APPLESS_MAIN(TestRedrawLimiter)
#include "tst_redrawlimiter.moc"
