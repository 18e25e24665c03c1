#include <QtTest>

#include "common/geometry/RadialDistortion.h"

#include <cmath>
#include <limits>

class TestRadialDistortion : public QObject
{
    Q_OBJECT
private slots:
    // A lens's k1 into the NVM's one term and back stays within half a pixel
    // over the photo for a moderate distortion.
    void convertsBothWays()
    {
        const double focal = 1000;
        const double maxRadius = RadialDistortion::maxRadius(1200, 900, focal);
        QCOMPARE(maxRadius, 0.75);
        const double r = RadialDistortion::nvmFromProjection(-0.08, 0.0, maxRadius);
        double k1 = 0, k2 = 0;
        RadialDistortion::projectionFromNvm(r, maxRadius, k1, k2);
        for (double u = 0.05; u <= maxRadius; u += 0.05) {
            const double d = u * (1 - 0.08 * u * u);
            const double back = d * (1 + r * d * d); // the NVM's undistortion
            QVERIFY2(std::abs(back - u) * focal < 0.5, qPrintable(QString::number(std::abs(back - u) * focal)));
            const double again = u * (1 + k1 * u * u + k2 * u * u * u * u);
            QVERIFY(std::abs(again - d) * focal < 0.5);
        }
    }

    // A camera without a focal length, or a radius that is no number, has
    // no distortion rather than a NaN one.
    void noRadiusNoDistortion()
    {
        QCOMPARE(RadialDistortion::maxRadius(1200, 900, 0), 0.0);
        const double nan = std::numeric_limits<double>::quiet_NaN();
        QCOMPARE(RadialDistortion::nvmFromProjection(-0.08, 0.01, nan), 0.0);
        double k1 = 1, k2 = 1;
        RadialDistortion::projectionFromNvm(0.05, nan, k1, k2);
        QCOMPARE(k1, 0.0);
        QCOMPARE(k2, 0.0);
    }
};

QTEST_GUILESS_MAIN(TestRadialDistortion)
#include "tst_radialdistortion.moc"
