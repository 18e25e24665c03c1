#include <QtTest>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <cmath>
#include <random>

#include "core/survey/ContourMaker.h"
#include "core/survey/ElevationGrid.h"

// Contours of surfaces whose level lines are known: a cone (circles), the
// same with fine noise and a floor lying exactly on a contour level (the
// micro-rings a plan must not show), read back through OGR.
class TestContourMaker : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    static constexpr double E = 712000, N = 4123000;
    static constexpr double cx = 10, cy = 10;

    // A cone 10 m high round (10, 10), with a flat floor at 96.0 m in a pit
    // east of it, and optional noise.
    static ElevationGrid surface(double noise)
    {
        ElevationGrid g;
        g.width = g.height = 400;
        g.cellX = g.cellY = 0.05;
        g.left = E;
        g.top = N + 20;
        g.epsg = 32633;
        g.heights.resize(size_t(g.width) * size_t(g.height));
        std::mt19937 random(3);
        std::normal_distribution<double> n(0, noise > 0 ? noise : 1);
        for (int r = 0; r < g.height; ++r)
            for (int c = 0; c < g.width; ++c) {
                const double x = g.x(c) - E, y = g.y(r) - N;
                double z = 100 - 0.5 * std::hypot(x - cx, y - cy);
                if (x > 14 && x < 18 && y > 2 && y < 6)
                    z = 96.0;
                g.heights[size_t(r) * size_t(g.width) + size_t(c)] = float(z + (noise > 0 ? n(random) : 0));
            }
        return g;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void contoursLieAtTheirHeights()
    {
        const ElevationGrid g = surface(0);
        ContourMaker::Settings s;
        s.interval = 0.5;
        s.smoothing = 0;
        std::vector<ContourMaker::Line> lines;
        ContourMaker::Result r;
        QString error;
        QVERIFY2(ContourMaker::lines(g, s, lines, r, &error), qPrintable(error));
        QVERIFY(r.levels >= 8);
        for (const ContourMaker::Line& line : lines)
            for (const auto& p : line) {
                const double level = p[2];
                QCOMPARE(std::fmod(level, 0.5), 0.0);
                // On the cone a level lies on a circle; on the floor's rim, where the floor meets it.
                const double radius = std::hypot(p[0] - E - cx, p[1] - N - cy);
                const bool floor = p[0] - E > 13.9 && p[0] - E < 18.1 && p[1] - N > 1.9 && p[1] - N < 6.1;
                if (!floor)
                    QVERIFY2(std::fabs(100 - 0.5 * radius - level) < 0.02, // half a cell's rise
                             qPrintable(QString("%1 at radius %2").arg(level).arg(radius)));
            }
    }

    void smoothingLeavesOutTheMicroRings()
    {
        const ElevationGrid g = surface(0.01);
        ContourMaker::Settings raw;
        raw.interval = 0.5;
        raw.smoothing = 0;
        raw.minCells = 0;
        raw.minRelief = 0;
        ContourMaker::Settings clean = raw;
        clean.smoothing = 0.1; // two cells
        clean.minCells = 5;
        clean.minRelief = 0.02;
        std::vector<ContourMaker::Line> noisy, plan;
        ContourMaker::Result a, b;
        QString error;
        QVERIFY(ContourMaker::lines(g, raw, noisy, a, &error));
        QVERIFY(ContourMaker::lines(g, clean, plan, b, &error));
        const auto shortOnes = [](const std::vector<ContourMaker::Line>& lines) {
            int n = 0;
            for (const auto& l : lines) {
                double length = 0;
                for (size_t i = 1; i < l.size(); ++i)
                    length += std::hypot(l[i][0] - l[i - 1][0], l[i][1] - l[i - 1][1]);
                n += length < 0.2;
            }
            return n;
        };
        qInfo("unsmoothed: %d lines, %d shorter than 0.2 m; smoothed: %d lines, %d left out",
              int(noisy.size()), shortOnes(noisy), int(plan.size()), b.dropped);
        QVERIFY(shortOnes(noisy) > 100); // the floor on 96.0 m and the noise
        QCOMPARE(shortOnes(plan), 0);
        // The cone's levels stay (cut into arcs by the grid's edges); on the
        // floor, whose level is 96.0 m, no small ring: only the 96 m circle
        // of the cone that runs along its edge.
        int onTheFloor = 0;
        for (const auto& l : plan)
            for (const auto& p : l)
                if (l.size() < 1000)
                    if (p[0] - E > 14.3 && p[0] - E < 17.7 && p[1] - N > 2.3 && p[1] - N < 5.7) {
                        ++onTheFloor;
                        break;
                    }
        QCOMPARE(onTheFloor, 0);
        QCOMPARE(b.levels, 13); // 93.5 to 99.5 m
    }

    void gisReadsTheFilesWithTheirSystem()
    {
        const ElevationGrid g = surface(0.005);
        ContourMaker::Settings s;
        s.interval = 1;
        s.smoothing = 0.1;
        const QString gpkg = m_dir.filePath("contours.gpkg"), dxf = m_dir.filePath("contours.dxf");
        ContourMaker::Result r;
        QString error;
        QVERIFY2(ContourMaker::make(g, s, gpkg, dxf, r, &error), qPrintable(error));
        QVERIFY(r.lines > 5);
        GDALAllRegister();
        GDALDataset* ds =
            GDALDataset::FromHandle(GDALOpenEx(gpkg.toUtf8(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr));
        QVERIFY(ds);
        OGRLayer* layer = ds->GetLayerByName("contours");
        QVERIFY(layer);
        QCOMPARE(layer->GetSpatialRef()->GetAuthorityCode(nullptr), "32633");
        QCOMPARE(int(wkbFlatten(layer->GetGeomType())), int(wkbLineString));
        QVERIFY(OGR_GT_HasZ(layer->GetGeomType()));
        QCOMPARE(int(layer->GetFeatureCount()), r.lines);
        QVERIFY(QString(layer->GetMetadataItem("DESCRIPTION"))
                    .contains("smoothed by a Gaussian of 0.1 m (2 cells)"));
        const int field = layer->GetLayerDefn()->GetFieldIndex("elev");
        QVERIFY(field >= 0);
        QCOMPARE(layer->GetLayerDefn()->GetFieldDefn(field)->GetType(), OFTReal);
        for (auto& f : *layer) {
            const OGRLineString* line = f->GetGeometryRef()->toLineString();
            QCOMPARE(line->getZ(0), f->GetFieldAsDouble(field));
            QVERIFY(line->getX(0) >= E && line->getX(0) <= E + 20);
        }
        GDALClose(ds);
        ds = GDALDataset::FromHandle(GDALOpenEx(dxf.toUtf8(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr));
        QVERIFY(ds);
        QCOMPARE(int(ds->GetLayer(0)->GetFeatureCount()), r.lines);
        for (auto& f : *ds->GetLayer(0)) {
            QCOMPARE(QString(f->GetFieldAsString("Layer")), QString("CONTOURS"));
            QVERIFY(f->GetGeometryRef()->Is3D());
        }
        GDALClose(ds);

        std::vector<ContourMaker::Line> back;
        int epsg = 0;
        QVERIFY2(ContourMaker::readLines(gpkg, back, epsg, &error), qPrintable(error));
        QCOMPARE(epsg, 32633);
        QCOMPARE(int(back.size()), r.lines);
    }

    void badIntervalsWriteNothing_data()
    {
        QTest::addColumn<double>("interval");
        QTest::addColumn<QString>("message");
        QTest::newRow("zero") << 0.0 << "must be more than 0 m";
        QTest::newRow("negative") << -1.0 << "must be more than 0 m";
        QTest::newRow("not a number") << double(NAN) << "must be more than 0 m";
        QTest::newRow("larger than the relief")
            << 12.0 << "larger than the relief of the elevation model (7.0";
    }

    void badIntervalsWriteNothing()
    {
        QFETCH(double, interval);
        QFETCH(QString, message);
        ContourMaker::Settings s;
        s.interval = interval;
        ContourMaker::Result r;
        QString error;
        const QString gpkg = m_dir.filePath("bad.gpkg");
        QVERIFY(!ContourMaker::make(surface(0), s, gpkg, m_dir.filePath("bad.dxf"), r, &error));
        QVERIFY2(error.contains(message), qPrintable(error));
        QVERIFY(QDir(m_dir.path()).entryList({"bad*"}).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestContourMaker)
#include "tst_contourmaker.moc"
