#include <QtTest>

#include <cmath>
#include <random>

#include "core/georef/SimilarityFit.h"

Q_DECLARE_METATYPE(std::vector<osg::Vec3d>)

namespace
{

// A model frame's points and where a known similarity at UTM coordinates puts them.
struct Truth {
    osg::Matrixd rotation;
    osg::Vec3d translation{712345.678, 4123456.789, 101.5};
    double scale = 7.25;
    std::vector<osg::Vec3d> model, survey;
};

Truth truth(int count, double noise, unsigned seed)
{
    Truth t;
    t.rotation = osg::Matrixd::rotate(osg::Quat(0.7, osg::Vec3d(0.2, -0.5, 1)));
    std::mt19937 random(seed);
    std::normal_distribution<double> unit(0, 1);
    for (int i = 0; i < count; ++i) {
        const osg::Vec3d p(10 * unit(random), 8 * unit(random), 2 * unit(random));
        // osg's rotate() is a row-vector matrix: p * M rotates p.
        const osg::Vec3d q = t.translation + (p * t.rotation) * t.scale +
                             osg::Vec3d(unit(random), unit(random), 1.5 * unit(random)) * noise;
        t.model.push_back(p);
        t.survey.push_back(q);
    }
    return t;
}

} // namespace

class TestSimilarityFit : public QObject
{
    Q_OBJECT

private slots:
    void recoversAnExactSimilarity()
    {
        const Truth t = truth(12, 0, 1);
        SimilarityFit::Result fit;
        QString error;
        QVERIFY2(SimilarityFit::fit(t.model, t.survey, &fit, &error), qPrintable(error));
        QVERIFY(std::abs(fit.scale / t.scale - 1) < 1e-9);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                QVERIFY(std::abs(fit.rotation(r, c) - t.rotation(c, r)) < 1e-9);
        QVERIFY((fit.translation - t.translation).length() < 1e-6);
        QVERIFY(fit.rms < 1e-6);
        // The robust fit agrees on clean data and keeps every pair.
        SimilarityFit::Result robust;
        QVERIFY(SimilarityFit::robustFit(t.model, t.survey, &robust, &error));
        QVERIFY(std::all_of(robust.used.begin(), robust.used.end(), [](bool u) { return u; }));
        QVERIFY(std::abs(robust.scale / t.scale - 1) < 1e-9);
    }

    // Consumer GPS: metres of noise, and one fix 200 m off.
    void leavesOutAGrossGpsOutlier()
    {
        Truth t = truth(20, 2.0, 2);
        t.survey[7] += osg::Vec3d(150, -120, 40);
        SimilarityFit::Result plain, robust;
        QString error;
        QVERIFY(SimilarityFit::fit(t.model, t.survey, &plain, &error));
        QVERIFY(SimilarityFit::robustFit(t.model, t.survey, &robust, &error));
        QVERIFY(!robust.used[7]);
        QCOMPARE(int(std::count(robust.used.begin(), robust.used.end(), true)), 19);
        QVERIFY2(robust.rms < 4, qPrintable(QString::number(robust.rms)));
        QVERIFY(std::abs(robust.scale / t.scale - 1) < 0.02);
        // The outlier pulls an ordinary fit visibly further off.
        QVERIFY(plain.rms > 2 * robust.rms);
    }

    void refusesPointsThatFixNoSimilarity_data()
    {
        QTest::addColumn<std::vector<osg::Vec3d>>("model");
        QTest::addColumn<std::vector<osg::Vec3d>>("survey");
        QTest::addColumn<QString>("reason");
        const std::vector<osg::Vec3d> triangle{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
        QTest::newRow("two points") << std::vector<osg::Vec3d>{{0, 0, 0}, {1, 0, 0}}
                                    << std::vector<osg::Vec3d>{{5, 5, 5}, {6, 5, 5}} << "at least three";
        QTest::newRow("on one line") << std::vector<osg::Vec3d>{{0, 0, 0}, {1, 1, 1}, {3, 3, 3}, {7, 7, 7}}
                                     << std::vector<osg::Vec3d>{{0, 0, 0}, {2, 2, 2}, {6, 6, 6}, {14, 14, 14}}
                                     << "one line";
        QTest::newRow("every GPS fix the same") << triangle
                                               << std::vector<osg::Vec3d>(3, osg::Vec3d(712000, 4123000, 95))
                                               << "one line";
        QTest::newRow("not a number") << triangle
                                      << std::vector<osg::Vec3d>{{0, 0, 0}, {NAN, 0, 0}, {0, 1, 0}}
                                      << "not a number";
    }

    void refusesPointsThatFixNoSimilarity()
    {
        QFETCH(std::vector<osg::Vec3d>, model);
        QFETCH(std::vector<osg::Vec3d>, survey);
        QFETCH(QString, reason);
        SimilarityFit::Result fit;
        QString error;
        QVERIFY(!SimilarityFit::fit(model, survey, &fit, &error));
        QVERIFY2(error.contains(reason), qPrintable(error));
        error.clear();
        QVERIFY(!SimilarityFit::robustFit(model, survey, &fit, &error));
        QVERIFY2(error.contains(reason), qPrintable(error));
    }
};

QTEST_APPLESS_MAIN(TestSimilarityFit)
#include "tst_similarityfit.moc"
