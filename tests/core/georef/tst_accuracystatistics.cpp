#include <QtTest>

#include <cmath>

#include "core/georef/AccuracyStatistics.h"

class TestAccuracyStatistics : public QObject
{
    Q_OBJECT

private slots:
    // Four residuals worked by hand: RMSEx 0.03, RMSEy 0.04, so RMSEr 0.05;
    // RMSEz sqrt(0.015 / 4); the axes' ratio 0.75 takes the NSSDA's
    // 0.5 (RMSEx + RMSEy) = 0.035 for the circular standard error.
    void handWorkedResiduals()
    {
        const AccuracyStatistics s = AccuracyStatistics::of(
            {{0.03, -0.04, 0.05}, {-0.03, 0.04, -0.05}, {0.03, 0.04, 0.10}, {-0.03, -0.04, 0.0}});
        QCOMPARE(s.count, 4);
        QVERIFY(std::abs(s.rmseX - 0.03) < 1e-15);
        QVERIFY(std::abs(s.rmseY - 0.04) < 1e-15);
        QVERIFY(std::abs(s.rmseHorizontal - 0.05) < 1e-15);
        QVERIFY(std::abs(s.rmseZ - 0.0612372435695794) < 1e-15);
        QCOMPARE(s.rmseVertical, s.rmseZ);
        QVERIFY(std::abs(s.meanX) < 1e-15 && std::abs(s.meanY) < 1e-15);
        QVERIFY(std::abs(s.meanZ - 0.025) < 1e-15);
        QVERIFY(s.approximated);
        QVERIFY(std::abs(s.ce90 - 2.1460 * 0.035) < 1e-12);
        QVERIFY(std::abs(s.ce95 - 0.08566950) < 1e-8);
        QVERIFY(std::abs(s.le90 - 1.6449 * 0.0612372435695794) < 1e-12);
        QVERIFY(std::abs(s.le95 - 0.12002499739) < 1e-10);
    }

    // Equal axes: the 95 % figure is the NSSDA's 1.7308 RMSEr, the 90 % one
    // 2.1460 RMSEx = 1.5175 RMSEr; the exact radius of a circular normal
    // error agrees with the tabled factors.
    void circularErrorOfEqualAxes()
    {
        const AccuracyStatistics s = AccuracyStatistics::of({{0.1, 0.1, 0.2}, {-0.1, -0.1, -0.2}});
        QVERIFY(std::abs(s.ce95 - 1.7308 * s.rmseHorizontal) < 1e-5);
        QVERIFY(std::abs(s.ce90 - 1.5175 * s.rmseHorizontal) < 1e-5);
        QVERIFY(std::abs(s.le95 - 0.392) < 1e-12);
        QVERIFY(std::abs(AccuracyStatistics::circularError(1, 1, 0.90) - std::sqrt(-2 * std::log(0.10))) <
                1e-9);
        QVERIFY(std::abs(AccuracyStatistics::circularError(1, 1, 0.95) - std::sqrt(-2 * std::log(0.05))) <
                1e-9);
    }

    // RMSEy under 0.6 RMSEx: the approximation no longer holds and the
    // circular error is the exact radius, which an error along one axis only
    // brings down to the linear 1.6449 and 1.9600.
    void elongatedErrorsTakeTheExactRadius()
    {
        QVERIFY(std::abs(AccuracyStatistics::circularError(0.2, 0, 0.90) - 1.6448536 * 0.2) < 1e-7);
        QVERIFY(std::abs(AccuracyStatistics::circularError(0, 0.2, 0.95) - 1.9599640 * 0.2) < 1e-7);
        const AccuracyStatistics s = AccuracyStatistics::of({{0.1, 0.02, 0}, {-0.1, -0.02, 0}});
        QVERIFY(!s.approximated);
        // Between the error of the long axis alone and that of a circle of the long axis.
        QVERIFY(s.ce90 > 1.6449 * 0.1 && s.ce90 < 1.6449 * 0.1 * 1.05);
        QVERIFY(s.ce95 > 1.9600 * 0.1 && s.ce95 < 1.9600 * 0.1 * 1.05);
        // At the 0.6 border: 2.0813 and 1.7915 (a simulation of 400000
        // errors gives 2.082 and 1.793); the NSSDA's 2.4477 * 0.8 there is
        // some 6 % low.
        const double exact = AccuracyStatistics::circularError(1, 0.6, 0.95);
        QVERIFY2(std::abs(exact - 2.0813) < 1e-3, qPrintable(QString::number(exact, 'g', 10)));
        QVERIFY(std::abs(AccuracyStatistics::circularError(0.6, 1, 0.90) - 1.7915) < 1e-3);
        QVERIFY(std::abs(exact - 2.4477 * 0.8) / exact < 0.07);
    }

    void noResidualsGiveZeros()
    {
        const AccuracyStatistics s = AccuracyStatistics::of({});
        QCOMPARE(s.count, 0);
        QCOMPARE(s.ce90, 0.0);
        QCOMPARE(s.rmseHorizontal, 0.0);
    }
};

QTEST_APPLESS_MAIN(TestAccuracyStatistics)
#include "tst_accuracystatistics.moc"
