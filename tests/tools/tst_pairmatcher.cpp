#include <QtTest>

#include <algorithm>
#include <cmath>
#include <random>

#include "PairMatcher.h"

namespace
{

// Two 2000 x 1500 views of the same random points in depth, their features
// listed in the same order with the same descriptors (a little noise in
// the second). The first `outliers` of the second view's features are
// moved to random places: their matches are wrong.
struct TwoViews {
    FeatureSet a, b;
    int outliers = 0;
};

TwoViews twoViews(int count, double outlierShare, std::uint32_t seed = 7)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> x(-6, 6), y(-4.5, 4.5), z(9, 15), u(0, 1);
    std::uniform_int_distribution<int> byte(0, 255), noise(-3, 3);
    TwoViews v;
    for (FeatureSet* f : {&v.a, &v.b}) {
        f->width = 2000;
        f->height = 1500;
    }
    v.a.imageName = "a.jpg";
    v.b.imageName = "b.jpg";
    // Second camera: 1.5 m to the right, turned 3 degrees about the vertical.
    const double angle = 3 * M_PI / 180, c = std::cos(angle), s = std::sin(angle);
    v.outliers = int(count * outlierShare);
    for (int i = 0; i < count; ++i) {
        const double X = x(random), Y = y(random), Z = z(random);
        const double bx = c * (X - 1.5) + s * Z, bz = -s * (X - 1.5) + c * Z;
        FeatureSet::Keypoint ka{float(1000 + 1000 * X / Z), float(750 + 1000 * Y / Z), 2, 0};
        FeatureSet::Keypoint kb{float(1000 + 1000 * bx / bz), float(750 + 1000 * Y / bz), 2, 0};
        if (i < v.outliers)
            kb = {float(2000 * u(random)), float(1500 * u(random)), 2, 0};
        v.a.keypoints.push_back(ka);
        v.b.keypoints.push_back(kb);
        for (int k = 0; k < FeatureSet::descriptorSize; ++k) {
            const int d = byte(random);
            v.a.descriptors.push_back(std::uint8_t(d));
            v.b.descriptors.push_back(std::uint8_t(std::clamp(d + noise(random), 0, 255)));
        }
    }
    return v;
}

} // namespace

class TestPairMatcher : public QObject
{
    Q_OBJECT
private slots:
    // Capped, a photo takes its first features into matching (the detector
    // writes the strongest first) and the matches keep their file indices.
    void cappedFeaturesAreTheFirstOnes()
    {
        const TwoViews v = twoViews(3000, 0);
        PairMatcher::Settings settings;
        settings.maxFeatures = 800;
        const PairMatcher matcher(settings);
        const auto result = matcher.match(*PairMatcher::prepare(v.a, settings.maxFeatures),
                                          *PairMatcher::prepare(v.b, settings.maxFeatures));
        QVERIFY2(result.inliers.size() >= 760, qPrintable(QString::number(result.inliers.size())));
        for (const auto& m : result.inliers) {
            QVERIFY(m.first < 800 && m.second < 800);
            QCOMPARE(m.first, m.second);
        }
        // Uncapped, the same photos give all of theirs.
        const auto all = PairMatcher().match(*PairMatcher::prepare(v.a), *PairMatcher::prepare(v.b));
        QVERIFY2(all.inliers.size() > 2800, qPrintable(QString::number(all.inliers.size())));
    }
};

QTEST_GUILESS_MAIN(TestPairMatcher)
#include "tst_pairmatcher.moc"
