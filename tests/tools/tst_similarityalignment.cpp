#include <QtTest>

#include <cmath>

#include "common/formats/NvmFile.h"
#include "SimilarityAlignment.h"

class TestSimilarityAlignment : public QObject
{
    Q_OBJECT
private slots:
    void recoversTheTransform_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<QVector<double>>("quaternion");
        QTest::newRow("identity") << 1.0 << QVector<double>{1, 0, 0, 0};
        QTest::newRow("half turn") << 0.01 << QVector<double>{0, 0, 1, 0};
        QTest::newRow("oblique") << 250.0 << QVector<double>{0.3, -0.5, 0.7, 0.2};
    }
    void recoversTheTransform()
    {
        QFETCH(double, scale);
        QFETCH(QVector<double>, quaternion);
        NvmFile::Camera turn;
        turn.quaternion = {quaternion[0], quaternion[1], quaternion[2], quaternion[3]};
        const auto R = turn.rotation();
        const std::vector<SimilarityAlignment::Point> from = {
            {0, 0, 0}, {1, 0, 0}, {0, 2, 0}, {0, 0, 3}, {1, 1, 1}};
        std::vector<SimilarityAlignment::Point> to;
        for (const auto& p : from) {
            SimilarityAlignment::Point q;
            for (int r = 0; r < 3; ++r)
                q[r] =
                    scale * (R[3 * r] * p[0] + R[3 * r + 1] * p[1] + R[3 * r + 2] * p[2]) + (r + 1) * 1000.0;
            to.push_back(q);
        }
        SimilarityAlignment align;
        QVERIFY(align.estimate(from, to));
        QVERIFY(std::abs(align.scale / scale - 1) < 1e-9);
        QVERIFY2(align.rmsError(from, to) < 1e-9 * std::max(scale, 1.0) * 1000,
                 qPrintable(QString::number(align.rmsError(from, to))));
        QVERIFY(SimilarityAlignment::relativeMisfit(from, to) < 1e-9);
    }

    void tooFewPointsAreRefused()
    {
        SimilarityAlignment align;
        QVERIFY(!align.estimate({{0, 0, 0}, {1, 0, 0}}, {{0, 0, 0}, {1, 0, 0}}));
        QVERIFY(!align.estimate({{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}));
        QCOMPARE(SimilarityAlignment::relativeMisfit({{0, 0, 0}}, {{1, 1, 1}}), -1.0);
    }
};

QTEST_GUILESS_MAIN(TestSimilarityAlignment)
#include "tst_similarityalignment.moc"
