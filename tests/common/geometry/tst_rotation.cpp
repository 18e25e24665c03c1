#include <QtTest>

#include "common/geometry/Rotation.h"

#include <cmath>
#include <random>

namespace
{

bool near(const Rotation::Matrix& a, const Rotation::Matrix& b, double tolerance)
{
    for (size_t i = 0; i < 9; ++i)
        if (std::fabs(a[i] - b[i]) > tolerance)
            return false;
    return true;
}

Rotation::Matrix product(const Rotation::Matrix& a, const Rotation::Matrix& b)
{
    Rotation::Matrix m{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            for (int k = 0; k < 3; ++k)
                m[size_t(3 * r + c)] += a[size_t(3 * r + k)] * b[size_t(3 * k + c)];
    return m;
}

} // namespace

class TestRotation : public QObject
{
    Q_OBJECT
private slots:
    // Rotations whose matrices are known by hand, both ways, through every
    // branch of the matrix's reading (a positive trace, and half turns whose
    // largest diagonal entry is x, y or z).
    void knownRotationsBothWays_data()
    {
        const double h = std::sqrt(0.5);
        QTest::addColumn<double>("w");
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("y");
        QTest::addColumn<double>("z");
        QTest::addColumn<QVector<double>>("matrix");
        QTest::newRow("none") << 1.0 << 0.0 << 0.0 << 0.0 << QVector<double>{1, 0, 0, 0, 1, 0, 0, 0, 1};
        QTest::newRow("quarter turn about z")
            << h << 0.0 << 0.0 << h << QVector<double>{0, -1, 0, 1, 0, 0, 0, 0, 1};
        QTest::newRow("quarter turn about x")
            << h << h << 0.0 << 0.0 << QVector<double>{1, 0, 0, 0, 0, -1, 0, 1, 0};
        QTest::newRow("half turn about x") << 0.0 << 1.0 << 0.0 << 0.0 << QVector<double>{1, 0, 0, 0, -1, 0, 0, 0, -1};
        QTest::newRow("half turn about y") << 0.0 << 0.0 << 1.0 << 0.0 << QVector<double>{-1, 0, 0, 0, 1, 0, 0, 0, -1};
        QTest::newRow("half turn about z") << 0.0 << 0.0 << 0.0 << 1.0 << QVector<double>{-1, 0, 0, 0, -1, 0, 0, 0, 1};
    }
    void knownRotationsBothWays()
    {
        QFETCH(double, w);
        QFETCH(double, x);
        QFETCH(double, y);
        QFETCH(double, z);
        QFETCH(QVector<double>, matrix);
        Rotation::Matrix expected;
        std::copy(matrix.begin(), matrix.end(), expected.begin());
        QVERIFY(near(Rotation::matrixOf({w, x, y, z}), expected, 1e-15));
        const Rotation::Quaternion q = Rotation::quaternionOf(expected);
        const Rotation::Quaternion known{w, x, y, z};
        for (size_t i = 0; i < 4; ++i)
            QVERIFY(std::fabs(q[i] - known[i]) < 1e-15);
    }

    // A quaternion off unit length, scaled as a whole or with its sign
    // flipped names the same rotation; one of no length names none.
    void normalisesWhatItIsGiven()
    {
        const Rotation::Matrix unit = Rotation::matrixOf({0.5, 0.5, -0.5, 0.5});
        QVERIFY(near(Rotation::matrixOf({1.5, 1.5, -1.5, 1.5}), unit, 1e-15));
        QVERIFY(near(Rotation::matrixOf({-0.5, -0.5, 0.5, -0.5}), unit, 1e-15));
        const Rotation::Matrix identity{1, 0, 0, 0, 1, 0, 0, 0, 1};
        QVERIFY(near(Rotation::matrixOf({0, 0, 0, 0}), identity, 0));
        QVERIFY(near(Rotation::matrixOf({NAN, 0, 0, 0}), identity, 0));
        // A scaled quaternion still gives a rotation: R Rt = I.
        const Rotation::Matrix R = Rotation::matrixOf({3, -1, 2, 0.5});
        const Rotation::Matrix Rt{R[0], R[3], R[6], R[1], R[4], R[7], R[2], R[5], R[8]};
        QVERIFY(near(product(R, Rt), identity, 1e-15));
    }

    // Any rotation goes to its quaternion and back, w never negative.
    void roundTripsEveryRotation()
    {
        std::mt19937 random(11);
        std::normal_distribution<double> normal;
        for (int i = 0; i < 10000; ++i) {
            const Rotation::Quaternion q{normal(random), normal(random), normal(random), normal(random)};
            const Rotation::Matrix R = Rotation::matrixOf(q);
            const Rotation::Quaternion back = Rotation::quaternionOf(R);
            QVERIFY(back[0] >= 0);
            QVERIFY(std::fabs(std::hypot(std::hypot(back[0], back[1]), std::hypot(back[2], back[3])) - 1) < 1e-14);
            QVERIFY(near(Rotation::matrixOf(back), R, 1e-14));
        }
    }

    // The rotation between two sets of points comes back from their
    // correlation alone, for any rotation, half turns included.
    void bestFitFindsTheTurnBetweenPointSets()
    {
        std::mt19937 random(5);
        std::normal_distribution<double> normal;
        for (int run = 0; run < 200; ++run) {
            const Rotation::Matrix turn =
                run == 0 ? Rotation::matrixOf({0, 1, 0, 0})
                         : Rotation::matrixOf({normal(random), normal(random), normal(random), normal(random)});
            Rotation::Matrix correlation{};
            for (int i = 0; i < 6; ++i) {
                const double a[3] = {normal(random), normal(random), normal(random)};
                double b[3];
                for (size_t r = 0; r < 3; ++r)
                    b[r] = turn[3 * r] * a[0] + turn[3 * r + 1] * a[1] + turn[3 * r + 2] * a[2];
                for (size_t j = 0; j < 3; ++j)
                    for (size_t k = 0; k < 3; ++k)
                        correlation[3 * j + k] += a[j] * b[k];
            }
            QVERIFY(near(Rotation::bestFit(correlation), turn, 1e-12));
        }
    }
};

QTEST_GUILESS_MAIN(TestRotation)
#include "tst_rotation.moc"
