#include <QtTest>

#include <cmath>
#include <functional>
#include <limits>

#include "core/survey/ElevationGrid.h"
#include "core/survey/PolygonCoverage.h"
#include "core/survey/VolumeCalculator.h"
#include "core/survey/VolumeTable.h"

// Volumes within outlines on surfaces whose integrals are known in closed
// form, at survey coordinates far from the origin (the digits must survive),
// with outlines that cut cells at odd angles.
class TestVolumeCalculator : public QObject
{
    Q_OBJECT

    static constexpr double E = 712000, N = 4123000;

    static ElevationGrid grid(double cell, double width, double height,
                              const std::function<double(double, double)>& z, double left = E,
                              double top = N + 30, int epsg = 32633)
    {
        ElevationGrid g;
        g.width = int(std::lround(width / cell));
        g.height = int(std::lround(height / cell));
        g.cellX = g.cellY = cell;
        g.left = left;
        g.top = top;
        g.epsg = epsg;
        g.heights.resize(size_t(g.width) * size_t(g.height));
        for (int r = 0; r < g.height; ++r)
            for (int c = 0; c < g.width; ++c)
                g.heights[size_t(r) * size_t(g.width) + size_t(c)] = float(z(g.x(c) - E, g.y(r) - N));
        return g;
    }

    static QVector<QPointF> ring(std::initializer_list<std::pair<double, double>> local)
    {
        QVector<QPointF> out;
        for (const auto& p : local)
            out.push_back(QPointF(E + p.first, N + p.second));
        return out;
    }

private slots:
    void coverageSumsToTheArea_data()
    {
        QTest::addColumn<QVector<QPointF>>("polygon");
        QTest::addColumn<double>("area");
        QTest::newRow("rectangle off the cell lines")
            << ring({{3.013, 4.021}, {9.517, 4.021}, {9.517, 7.333}, {3.013, 7.333}}) << 6.504 * 3.312;
        QTest::newRow("turned triangle")
            << ring({{2, 3}, {12.5, 6.25}, {4.75, 14}}) << 0.5 * std::fabs(10.5 * 11 - 2.75 * 3.25);
        // A ring that crosses itself counts by the even-odd rule: two triangles.
        QTest::newRow("bow tie") << ring({{2, 2}, {8, 8}, {8, 2}, {2, 8}}) << 18.0;
    }

    void coverageSumsToTheArea()
    {
        QFETCH(QVector<QPointF>, polygon);
        QFETCH(double, area);
        const ElevationGrid g = grid(
            0.05, 20, 20, [](double, double) { return 1; }, E, N + 20);
        const PolygonCoverage c = PolygonCoverage::of(polygon, g);
        // Eight scan lines a row: the area to a small part of one cell's.
        QVERIFY2(std::fabs(c.coveredArea - area) < 0.002 * area,
                 qPrintable(QString("%1 against %2").arg(c.coveredArea, 0, 'f', 5).arg(area, 0, 'f', 5)));
        QVERIFY(std::fabs(c.inside() - 1) < 0.002 || QTest::currentDataTag() == QByteArray("bow tie"));
    }

    void volumesMatchTheirIntegrals_data()
    {
        QTest::addColumn<int>("method");
        QTest::addColumn<double>("cut");
        QTest::addColumn<double>("fill");
        QTest::addColumn<double>("uncertainty");
        // A 6.504 x 3.312 m outline; the later survey 0.5 m lower inside 2 x 3 m of it.
        QTest::newRow("two surveys: a pit dug")
            << int(VolumeCalculator::Method::TwoSurveys) << 0.5 * 6.0 << 0.0
            << 6.504 * 3.312 * std::sqrt(0.03 * 0.03 + 0.04 * 0.04);
        // The surface (a slope of 0.1 along x) against the level 100.2.
        QTest::newRow("against a level")
            << int(VolumeCalculator::Method::Plane) << -1.0 << -1.0 << 6.504 * 3.312 * 0.03;
        QTest::newRow("stockpile over its rim")
            << int(VolumeCalculator::Method::RimBase) << 0.0 << -1.0 << -1.0;
    }

    void volumesMatchTheirIntegrals()
    {
        QFETCH(int, method);
        QFETCH(double, cut);
        QFETCH(double, fill);
        QFETCH(double, uncertainty);
        const auto slope = [](double x, double y) { return 100 + 0.1 * x + 0.02 * y; };
        const double x0 = 3.013, y0 = 4.021, x1 = 9.517, y1 = 7.333;
        VolumeCalculator::Input in;
        in.method = VolumeCalculator::Method(method);
        in.polygon = ring({{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
        in.surfaceAccuracy = 0.03;
        in.earlierAccuracy = 0.04;
        in.surfaceName = "2026-06-13";
        in.earlierName = "2026-06-12";
        in.level = 100.2;
        const ElevationGrid earlier = grid(0.04, 20, 20, slope, E + 0.013, N + 20.007);
        // Whole cells of 5 cm lowered: 2 x 3 m from (4, 4.2).
        const ElevationGrid later = grid(
            0.05, 20, 20,
            [&](double x, double y) {
                const bool pit = x > 4 && x < 6 && y > 4.2 && y < 7.2;
                return slope(x, y) - (pit ? 0.5 : 0);
            },
            E, N + 20);
        // A cone of height 2 and radius 1.5 on the slope, inside the outline.
        const double cx = 6.2, cy = 5.7;
        const ElevationGrid heap = grid(
            0.02, 20, 20,
            [&](double x, double y) {
                return slope(x, y) + std::max(0.0, 2 * (1 - std::hypot(x - cx, y - cy) / 1.5));
            },
            E, N + 20);
        const double area = 6.504 * 3.312;
        if (in.method == VolumeCalculator::Method::TwoSurveys) {
            in.surface = &later;
            in.earlier = &earlier;
        } else if (in.method == VolumeCalculator::Method::Plane) {
            in.surface = &earlier;
            // The plane z = 100.2 cuts the slope; integrate by hand on a fine lattice.
            double c = 0, f = 0;
            const int n = 2000;
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j) {
                    const double x = x0 + (i + 0.5) * (x1 - x0) / n, y = y0 + (j + 0.5) * (y1 - y0) / n;
                    const double d = slope(x, y) - 100.2;
                    (d > 0 ? f : c) += std::fabs(d) * area / (double(n) * n);
                }
            cut = c;
            fill = f;
        } else {
            in.surface = &heap;
            fill = M_PI * 1.5 * 1.5 * 2 / 3;
        }
        VolumeCalculator::Result r;
        QString error;
        QVERIFY2(VolumeCalculator::compute(in, r, &error), qPrintable(error));
        const double tolerance = 0.004 * std::max(1.0, fill + cut);
        QVERIFY2(std::fabs(r.volume.cut - cut) < tolerance,
                 qPrintable(QString("cut %1, truth %2").arg(r.volume.cut).arg(cut)));
        QVERIFY2(std::fabs(r.volume.fill - fill) < tolerance,
                 qPrintable(QString("fill %1, truth %2").arg(r.volume.fill).arg(fill)));
        QCOMPARE(r.volume.net, r.volume.fill - r.volume.cut);
        QVERIFY(std::fabs(r.volume.area - area) < 1e-6);
        if (in.method == VolumeCalculator::Method::RimBase) {
            // The rim lies on the slope: its plane is the slope.
            QVERIFY2(r.rimRms < 0.002, qPrintable(QString::number(r.rimRms)));
            QVERIFY(std::fabs(r.baseA - 0.1) < 1e-3 && std::fabs(r.baseB - 0.02) < 1e-3);
            uncertainty = area * std::sqrt(0.03 * 0.03 + r.rimRms * r.rimRms);
            QVERIFY(r.volume.method.contains("plane of its rim"));
        }
        QVERIFY2(std::fabs(r.volume.uncertainty - uncertainty) < 1e-9 * uncertainty + 1e-12,
                 qPrintable(QString("%1 against %2").arg(r.volume.uncertainty).arg(uncertainty)));
        if (in.method == VolumeCalculator::Method::TwoSurveys)
            QCOMPARE(r.volume.method, QString("between surveys 2026-06-12 and 2026-06-13"));
        if (in.method == VolumeCalculator::Method::Plane)
            QCOMPARE(r.volume.method, QString("survey 2026-06-13 against the level 100.2 m"));
    }

    void badOutlinesAreRefusedAndSaid_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("outside the model") << "outside"
                                           << "wholly outside the elevation model of 2026-06-13";
        QTest::newRow("reaching beyond it") << "partly"
                                            << "partly outside the elevation model of 2026-06-13";
        QTest::newRow("outside the earlier model") << "earlier"
                                                   << "partly outside the elevation model of 2026-06-12";
        QTest::newRow("over a hole") << "hole"
                                     << "without heights";
        QTest::newRow("on one line") << "line"
                                     << "encloses no area";
        QTest::newRow("two vertices") << "two"
                                      << "encloses no area";
        QTest::newRow("another system") << "system"
                                        << "different reference systems (EPSG:32634 and EPSG:32633)";
    }

    void badOutlinesAreRefusedAndSaid()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        const auto flat = [](double, double) { return 100.0; };
        ElevationGrid later = grid(0.1, 20, 20, flat, E, N + 20);
        const ElevationGrid earlier = grid(0.1, 10, 20, flat, E, N + 20, kind == "system" ? 32634 : 32633);
        for (int r = 50; r < 60; ++r)
            for (int c = 50; c < 60; ++c)
                later.heights[size_t(r) * size_t(later.width) + size_t(c)] =
                    std::numeric_limits<float>::quiet_NaN();
        VolumeCalculator::Input in;
        in.surface = &later;
        in.earlier = &earlier;
        in.surfaceName = "2026-06-13";
        in.earlierName = "2026-06-12";
        in.polygon = ring({{1, 1}, {4, 1}, {4, 4}, {1, 4}});
        if (kind == "outside")
            in.polygon = ring({{30, 30}, {34, 30}, {34, 34}});
        else if (kind == "partly")
            in.polygon = ring({{18, 1}, {22, 1}, {22, 4}});
        else if (kind == "earlier")
            in.polygon = ring({{8, 1}, {12, 1}, {12, 4}});
        else if (kind == "hole")
            in.polygon = ring({{4, 13}, {7, 13}, {7, 16}, {4, 16}});
        else if (kind == "line")
            in.polygon = ring({{1, 1}, {2, 2}, {3, 3}});
        else if (kind == "two")
            in.polygon = ring({{1, 1}, {2, 2}});
        if (kind == "hole") // on the later model alone
            in.method = VolumeCalculator::Method::Plane;
        VolumeCalculator::Result r;
        QString error;
        QVERIFY(!VolumeCalculator::compute(in, r, &error));
        QVERIFY2(error.contains(message), qPrintable(error));
        QVERIFY(!r.volume.isSet());
    }

    void tableWritesCsvThatReadsBack()
    {
        QTemporaryDir dir;
        VolumeTable::Row row;
        row.outline = "L.12 FI-FILL, west half";
        row.volume.method = "survey \"2026-06-13\" against the level 94.5 m";
        row.volume.cut = 2.2468831;
        row.volume.fill = 0;
        row.volume.net = -2.2468831;
        row.volume.uncertainty = 0.1;
        row.volume.area = 21.54125;
        QString error;
        QVERIFY2(VolumeTable::writeCsv(dir.filePath("v.csv"), {row}, &error), qPrintable(error));
        QFile f(dir.filePath("v.csv"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(
            QString::fromUtf8(f.readAll()),
            QString(
                "outline,method,cut_m3,fill_m3,net_m3,uncertainty_m3,area_m2\n\"L.12 FI-FILL, west "
                "half\",\"survey \"\"2026-06-13\"\" against the level 94.5 m\",2.2468831,0,-2.2468831,0.1,"
                "21.54125\n"));
        QVERIFY(!VolumeTable::writeCsv(dir.filePath("missing/v.csv"), {row}, &error));
    }
};

QTEST_GUILESS_MAIN(TestVolumeCalculator)
#include "tst_volumecalculator.moc"
