#include <QtTest>

#include <osg/Matrixd>
#include <osg/Quat>

#include <cmath>

#include "core/georef/SurveyAdjustment.h"

namespace
{

// Survey coordinates of the site's local origin: far from zero, as UTM is.
const osg::Vec3d site(512345.678, 4801234.567, 231.25);

void setRotation(SurveyAdjustment::Camera& c, const osg::Quat& q)
{
    c.rotation[0] = q.w();
    c.rotation[1] = q.x();
    c.rotation[2] = q.y();
    c.rotation[3] = q.z();
}

osg::Quat rotationOf(const SurveyAdjustment::Camera& c)
{
    return osg::Quat(c.rotation[1], c.rotation[2], c.rotation[3], c.rotation[0]);
}

// The pixel of a point in a camera, as the adjustment's camera model has it;
// false behind the camera or outside the photo.
bool project(const SurveyAdjustment::Camera& camera, const SurveyAdjustment::Calibration& k,
             const osg::Vec3d& point, double* x, double* y)
{
    const osg::Vec3d p = rotationOf(camera) * (point - camera.centre);
    if (!(p.z() > 0))
        return false;
    const double u = p.x() / p.z(), v = p.y() / p.z(), rho2 = u * u + v * v;
    const double r = 1 + k.k1 * rho2 + k.k2 * rho2 * rho2;
    *x = k.cx + k.focal * u * r;
    *y = k.cy + k.focal * v * r;
    return std::abs(*x) < 500 && std::abs(*y) < 375;
}

void observeAll(SurveyAdjustment& a)
{
    a.observations.clear();
    for (size_t c = 0; c < a.cameras.size(); ++c)
        for (size_t p = 0; p < a.points.size(); ++p) {
            double x = 0, y = 0;
            if (project(a.cameras[c], a.calibrations[0], a.points[p].position, &x, &y))
                a.observations.push_back({int(c), int(p), x, y});
        }
}

void makeControl(SurveyAdjustment::Point& p, const QString& name, const osg::Vec3d& sigma)
{
    p.control = true;
    p.name = name;
    p.survey = p.position;
    p.sigma = sigma;
}

// A nadir block over rolling ground: 4 x 5 photos 80 m up of a 1000 x 750
// pixel camera with k1, k2 distortion, 81 ground points of which five are
// control points, every camera with its GPS position: exact observations.
SurveyAdjustment nadirBlock()
{
    SurveyAdjustment a;
    SurveyAdjustment::Calibration k;
    k.focal = 900;
    k.k1 = -0.08;
    k.k2 = 0.02;
    a.calibrations.push_back(k);
    for (int i = 0; i < 20; ++i) {
        SurveyAdjustment::Camera c;
        c.name = QStringLiteral("DJI_%1.JPG").arg(i + 1, 4, 10, QLatin1Char('0'));
        c.centre = site + osg::Vec3d(-37.5 + 25 * (i % 4), -40 + 20 * (i / 4), 80 + (i % 3));
        const osg::Quat down(M_PI, osg::Vec3d(1, 0, 0));
        const osg::Quat tilt(0.02 * (i % 3 - 1), osg::Vec3d(0.3, 1, 0.2));
        setRotation(c, down * tilt);
        c.hasPrior = true;
        c.prior = c.centre;
        c.priorSigma = SurveyAdjustment::consumerGpsSigma();
        a.cameras.push_back(c);
    }
    for (int i = 0; i < 81; ++i) {
        const double x = -60 + 15 * (i % 9), y = -60 + 15 * (i / 9);
        SurveyAdjustment::Point p;
        p.position = site + osg::Vec3d(x, y, 6 * std::sin(x / 23) + 4 * std::cos(y / 17));
        a.points.push_back(p);
    }
    const int controls[] = {10, 16, 40, 64, 70};
    for (int i : controls)
        makeControl(a.points[size_t(i)], QStringLiteral("GCP%1").arg(i),
                    SurveyAdjustment::controlPointSigma());
    observeAll(a);
    return a;
}

} // namespace

class TestSurveyAdjustment : public QObject
{
    Q_OBJECT

private slots:
    void recoversKnownSurveyFromExactObservations()
    {
        const SurveyAdjustment truth = nadirBlock();
        SurveyAdjustment a = truth;
        // Start where a mapper and a similarity would: poses, points and the
        // calibration off by decimetres, milliradians and percents.
        a.calibrations[0].focal *= 1.02;
        a.calibrations[0].k1 = 0;
        a.calibrations[0].k2 = 0;
        for (size_t i = 0; i < a.cameras.size(); ++i) {
            a.cameras[i].centre += osg::Vec3d(0.3 * std::sin(double(i)), -0.2, 0.4 * std::cos(double(i)));
            setRotation(a.cameras[i],
                        rotationOf(a.cameras[i]) * osg::Quat(0.004, osg::Vec3d(i % 2, 1, i % 3)));
        }
        for (size_t i = 0; i < a.points.size(); ++i)
            a.points[i].position += osg::Vec3d(0.15 * std::cos(double(i)), 0.1, -0.2 * std::sin(double(i)));

        // Aborted on the third iteration: refused, and nothing moved.
        SurveyAdjustment stopped = a;
        int calls = 0;
        stopped.options.progress = [&calls](int iteration, double cost) {
            ++calls;
            return iteration < 3 && std::isfinite(cost);
        };
        const SurveyAdjustment::Result abort = stopped.run();
        QVERIFY(abort.aborted && !abort.accepted);
        QCOMPARE(calls, 3);
        QVERIFY2(abort.message.contains("aborted"), qPrintable(abort.message));
        QCOMPARE(stopped.cameras[3].centre, a.cameras[3].centre);
        QCOMPARE(stopped.points[7].position, a.points[7].position);

        // Every iteration heard of, in order, with its cost falling to nothing.
        int last = 0;
        double lastCost = 0;
        a.options.progress = [&](int iteration, double cost) {
            last = iteration == last + 1 ? iteration : -1000;
            lastCost = cost;
            return true;
        };
        const SurveyAdjustment::Result result = a.run();
        QVERIFY2(result.accepted, qPrintable(result.message));
        QCOMPARE(last, result.iterations);
        QVERIFY(lastCost < 1e-9);
        QVERIFY(result.rmsPixels < 1e-6);
        QCOMPARE(a.origin, osg::Vec3d(512346, 4801235, 229)); // the control points' mean, in metres
        double worst = 0;
        for (size_t i = 0; i < a.cameras.size(); ++i)
            worst = std::max(worst, (a.cameras[i].centre - truth.cameras[i].centre).length());
        // Every point two photos see (one at the corner is seen by none and stays).
        std::vector<int> seen(a.points.size(), 0);
        for (const auto& o : a.observations)
            ++seen[size_t(o.point)];
        int placed = 0;
        for (size_t i = 0; i < a.points.size(); ++i)
            if (seen[i] >= 2) {
                worst = std::max(worst, (a.points[i].position - truth.points[i].position).length());
                ++placed;
            }
        QVERIFY(placed > 70);
        QVERIFY2(worst < 1e-6, qPrintable(QString::number(worst)));
        QVERIFY(std::abs(a.calibrations[0].focal - 900) < 1e-6);
        QVERIFY(std::abs(a.calibrations[0].k1 + 0.08) < 1e-8);
        QVERIFY(std::abs(a.calibrations[0].k2 - 0.02) < 1e-8);
        // The principal point is not refined unless asked.
        QCOMPARE(a.calibrations[0].cx, 0.0);
    }

    // A check point placed by the cameras through the lens model with both
    // distortion terms lands on itself; one photo cannot place it.
    void placesAPointThroughTheLensItself()
    {
        const SurveyAdjustment a = nadirBlock();
        int placed = 0;
        for (size_t p = 0; p < a.points.size(); ++p) {
            std::vector<SurveyAdjustment::Observation> seen;
            double farthest = 0;
            for (const auto& o : a.observations)
                if (o.point == int(p)) {
                    seen.push_back({o.camera, -1, o.x, o.y});
                    farthest = std::max(farthest, std::hypot(o.x, o.y));
                }
            osg::Vec3d at;
            QString error;
            if (seen.size() < 2) {
                QVERIFY(!a.place(seen, &at, &error));
                QVERIFY(!error.isEmpty());
                continue;
            }
            QVERIFY2(a.place(seen, &at, &error), qPrintable(error));
            QVERIFY2((at - a.points[p].position).length() < 1e-6,
                     qPrintable(QStringLiteral("point %1 (pixels out to %2 from the centre) off by %3 m")
                                    .arg(p)
                                    .arg(farthest)
                                    .arg((at - a.points[p].position).length())));
            ++placed;
        }
        QVERIFY(placed > 70);
        QString error;
        osg::Vec3d at;
        QVERIFY(!a.place({{99, 0, 0, 0}, {0, 0, 0, 0}}, &at, &error));
    }

    void priorsWeighAsTheirStandardDeviationsSay()
    {
        // Eight photos on a ring looking in at a cube of points, whose
        // control points share the ring's centre: a block held rigid by
        // its photos, which GPS priors pull one way and control points the
        // other, comes to rest at the inverse-variance weighted mean of the
        // two, axis by axis.
        SurveyAdjustment a;
        SurveyAdjustment::Calibration k;
        k.focal = 1000;
        k.refineFocal = k.refineDistortion = false;
        a.calibrations.push_back(k);
        const osg::Vec3d shift(1.0, -0.6, 2.0); // of every GPS prior
        const osg::Vec3d gpsSigma(2, 2, 5), controlSigma(1, 1, 2);
        for (int i = 0; i < 8; ++i) {
            const double t = i * M_PI / 4;
            SurveyAdjustment::Camera c;
            c.name = QString::number(i);
            const osg::Vec3d at(40 * std::cos(t), 40 * std::sin(t), 0);
            c.centre = site + at;
            osg::Vec3d z = -at, x = osg::Vec3d(0, 0, 1) ^ z;
            z.normalize();
            x.normalize();
            const osg::Vec3d y = z ^ x;
            // Rows: the camera's axes in world coordinates (world to camera).
            osg::Matrixd m;
            for (int j = 0; j < 3; ++j) {
                m(j, 0) = x[j];
                m(j, 1) = y[j];
                m(j, 2) = z[j];
            }
            setRotation(c, m.getRotate());
            QVERIFY((rotationOf(c) * -at).z() > 39.9);
            c.hasPrior = true;
            c.prior = c.centre + shift;
            c.priorSigma = gpsSigma;
            a.cameras.push_back(c);
        }
        const osg::Vec3d controls[] = {{5, 0, 0}, {-5, 0, 0}, {0, 5, 0}, {0, -5, 0}, {0, 0, 5}, {0, 0, -5}};
        for (const osg::Vec3d& p : controls) {
            SurveyAdjustment::Point point;
            point.position = site + p;
            makeControl(point, QStringLiteral("C%1").arg(a.points.size()), controlSigma);
            a.points.push_back(point);
        }
        for (int i = 0; i < 64; ++i) {
            SurveyAdjustment::Point p;
            p.position = site + osg::Vec3d(-7 + 2 * (i % 8), -7 + 2 * ((i / 8) % 8), 7 * std::sin(i * 1.3));
            a.points.push_back(p);
        }
        observeAll(a);
        // Stiff photos: the block moves as a whole.
        a.options.pixelSigma = 1e-3;
        a.options.estimatePixelSigma = false;
        const SurveyAdjustment before = a;

        const SurveyAdjustment::Result result = a.run();
        QVERIFY2(result.accepted, qPrintable(result.message));
        osg::Vec3d expected;
        for (int k = 0; k < 3; ++k) {
            const double wg = 8 / (gpsSigma[k] * gpsSigma[k]), wc = 6 / (controlSigma[k] * controlSigma[k]);
            expected[k] = wg * shift[k] / (wg + wc);
        }
        for (size_t i = 0; i < a.cameras.size(); ++i)
            QVERIFY2((a.cameras[i].centre - before.cameras[i].centre - expected).length() < 1e-4,
                     qPrintable(QString::number((a.cameras[i].centre - before.cameras[i].centre).z())));
        for (size_t i = 0; i < a.points.size(); ++i)
            QVERIFY((a.points[i].position - before.points[i].position - expected).length() < 1e-4);
        // Each camera sits (shift - expected) / sigma from its prior.
        QVERIFY(std::abs(result.priorSigmas[0] - 0.75 / 2) < 1e-4);
    }

    void refusesBadInput_data()
    {
        QTest::addColumn<int>("fault");
        QTest::addColumn<QString>("message");
        QTest::newRow("zero GPS sigma")
            << 0 << "DJI_0003.JPG: the standard deviations of its GPS position must be above zero";
        QTest::newRow("negative control sigma")
            << 1 << "control point GCP40: its standard deviations must be above zero";
        QTest::newRow("control seen once")
            << 2 << "control point GCP70 is seen in 1 photo(s), at least two are needed";
        QTest::newRow("zero pixel sigma")
            << 3 << "the standard deviation of an image measurement must be above zero";
        QTest::newRow("nothing to place it") << 4 << "0 control point(s) and 2 photo(s) with a GPS position";
        QTest::newRow("camera beyond its prior") << 5 << "DJI_0008.JPG";
    }

    void refusesBadInput()
    {
        QFETCH(int, fault);
        QFETCH(QString, message);
        SurveyAdjustment a = nadirBlock();
        switch (fault) {
        case 0:
            a.cameras[2].priorSigma.z() = 0;
            break;
        case 1:
            a.points[40].sigma.x() = -0.01;
            break;
        case 2: {
            // Keep one of its observations.
            bool kept = false;
            std::vector<SurveyAdjustment::Observation> left;
            for (const auto& o : a.observations)
                if (o.point != 70 || !kept) {
                    kept = kept || o.point == 70;
                    left.push_back(o);
                }
            a.observations = left;
            break;
        }
        case 3:
            a.options.pixelSigma = 0;
            break;
        case 4:
            for (auto& p : a.points)
                p.control = false;
            for (size_t i = 2; i < a.cameras.size(); ++i)
                a.cameras[i].hasPrior = false;
            break;
        case 5:
            // A GPS fix 30 m off with a 2 m standard deviation: the control
            // points hold the block, the camera stays 15 standard deviations away.
            a.cameras[7].prior += osg::Vec3d(30, 0, 0);
            break;
        }
        const SurveyAdjustment before = a;
        const SurveyAdjustment::Result result = a.run();
        QVERIFY(!result.accepted);
        QVERIFY2(result.message.contains(message), qPrintable(result.message));
        for (size_t i = 0; i < a.cameras.size(); ++i)
            QCOMPARE(a.cameras[i].centre, before.cameras[i].centre);
        for (size_t i = 0; i < a.points.size(); ++i)
            QCOMPARE(a.points[i].position, before.points[i].position);
        QCOMPARE(a.calibrations[0].focal, before.calibrations[0].focal);
    }
};

QTEST_GUILESS_MAIN(TestSurveyAdjustment)
#include "tst_surveyadjustment.moc"
