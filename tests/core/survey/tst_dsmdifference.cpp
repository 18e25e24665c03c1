#include <QtTest>

#include <cmath>

#include "TestRasters.h"
#include "core/formats/DrapedPair.h"
#include "core/survey/ChangeRamp.h"
#include "core/survey/DsmDifference.h"
#include "core/survey/ElevationGrid.h"
#include "core/survey/SurveyAgreement.h"

// Two surveys' elevation models written by GDAL on grids of their own (other
// cells, other corners), their difference computed, written and read back
// by GDAL's own tools as a GIS would.
class TestDsmDifference : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    static constexpr double E = 712000, N = 4123000;

    static double ground(double x, double y) { return 95 + 0.05 * x + 0.3 * std::sin(y / 3); }
    // The later survey: a pit of 0.5 m over 4 x 2 m, a heap added beside it, and a shift.
    static double later(double x, double y, double shift)
    {
        const bool pit = x > 5 && x < 9 && y > 6 && y < 8;
        return ground(x, y) - (pit ? 0.5 : 0) +
               0.8 * std::exp(-((x - 14) * (x - 14) + (y - 12) * (y - 12)) / 2) + shift;
    }

    QString write(const QString& name, double cell, double left, double top, int size, int epsg,
                  const std::function<double(double, double)>& z)
    {
        TestRasters::Spec s;
        s.width = s.height = size;
        const double t[6] = {left, cell, 0, top, 0, -cell};
        std::copy(t, t + 6, s.transform);
        s.epsg = epsg;
        s.hasNoData = true;
        s.noData = -9999;
        s.value = [=](int, int c, int r) {
            const double x = left + (c + 0.5) * cell - E, y = top - (r + 0.5) * cell - N;
            return x > 18 && y < 3 ? -9999 : z(x, y); // a corner without heights
        };
        const QString path = m_dir.filePath(name);
        return TestRasters::write(path, s) ? path : QString();
    }

    static QJsonObject gdalinfo(const QString& file)
    {
        QProcess p;
        p.start("gdalinfo", {"-json", "-mdd", "all", file});
        p.waitForFinished(60000);
        return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void gridsReadWholeOrInAWindow()
    {
        const QString file = write("whole.tif", 0.1, E, N + 20, 200, 32633, ground);
        ElevationGrid g;
        QString error;
        QVERIFY2(ElevationGrid::read(file, g, &error), qPrintable(error));
        QCOMPARE(g.width, 200);
        QCOMPARE(g.epsg, 32633);
        QCOMPARE(g.left, E);
        QVERIFY(std::isnan(g.at(199, 199))); // the no-data corner
        QVERIFY(std::fabs(g.heightAt(E + 7.3, N + 11.15) - ground(7.3, 11.15)) < 0.003);
        QVERIFY(std::isnan(g.heightAt(E - 1, N + 5)));

        const ElevationGrid::Window w{E + 5.02, N + 6.01, E + 7.5, N + 7.99};
        ElevationGrid part;
        QVERIFY2(ElevationGrid::read(file, part, &error, &w, 1), qPrintable(error));
        QVERIFY(part.left <= w.minX - 0.1 + 1e-9 && part.left > w.minX - 0.2);
        QVERIFY(part.right() >= w.maxX + 0.1 - 1e-9 && part.top >= w.maxY + 0.1 - 1e-9);
        QVERIFY(part.width < 30 && part.height < 25);
        QCOMPARE(part.heightAt(E + 6.33, N + 7.07), g.heightAt(E + 6.33, N + 7.07));

        const ElevationGrid::Window away{E + 100, N + 100, E + 101, N + 101};
        QVERIFY(!ElevationGrid::read(file, part, &error, &away));
        QVERIFY2(error.contains("outside the elevation model"), qPrintable(error));
        QVERIFY(!ElevationGrid::read(m_dir.filePath("missing.tif"), part, &error));
        QVERIFY(error.contains("missing.tif"));
    }

    void differenceIsLaterMinusEarlierAndGdalReadsIt()
    {
        const QString earlier = write("day1.tif", 0.05, E - 0.013, N + 20.021, 410, 32633, ground);
        const QString laterFile = write("day2.tif", 0.04, E + 0.5, N + 19.5, 550, 32633,
                                        [](double x, double y) { return later(x, y, 0); });
        ElevationGrid a, b, d;
        QString error;
        QVERIFY(ElevationGrid::read(earlier, a, &error));
        QVERIFY(ElevationGrid::read(laterFile, b, &error));
        DsmDifference::Summary summary;
        QVERIFY2(DsmDifference::compute(a, b, d, summary, &error), qPrintable(error));
        // On the later grid, within both extents.
        QCOMPARE(d.cellX, 0.04);
        QCOMPARE(d.left, b.left); // the later grid starts inside the earlier one
        QCOMPARE(d.top, b.top);
        QVERIFY(d.right() >= a.right() - 1e-9 && d.right() < a.right() + 0.04);
        QVERIFY(std::fabs(d.heightAt(E + 7, N + 7) + 0.5) < 0.005);
        QVERIFY(std::fabs(d.heightAt(E + 14, N + 12) - 0.8) < 0.01);
        QVERIFY(std::fabs(d.heightAt(E + 3, N + 15)) < 0.002);
        QVERIFY(std::isnan(d.heightAt(E + 19, N + 1))); // no height in either: no difference
        QVERIFY(summary.low < -0.49 && summary.high > 0.79);
        QVERIFY(summary.rampLimit > 0.1 && summary.rampLimit <= 0.8);

        const QString out = DsmDifference::fileFor(m_dir.path(), "2026-06-12", "2026-06-13");
        QVERIFY(out.endsWith("compare/change_2026-06-12_to_2026-06-13.tif"));
        QVERIFY2(DsmDifference::write(out, d, summary, laterFile, "2026-06-12", "2026-06-13", &error),
                 qPrintable(error));
        QCOMPARE(QDir(m_dir.filePath("compare")).entryList({"*.part*"}, QDir::Files), QStringList());
        const QJsonObject info = gdalinfo(out);
        QVERIFY(info["coordinateSystem"].toObject()["wkt"].toString().endsWith("ID[\"EPSG\",32633]]"));
        const QJsonArray t = info["geoTransform"].toArray();
        QCOMPARE(t[0].toDouble(), d.left);
        QCOMPARE(t[1].toDouble(), 0.04);
        const QJsonObject band = info["bands"].toArray()[0].toObject();
        QCOMPARE(band["type"].toString(), QString("Float32"));
        QCOMPARE(band["noDataValue"].toDouble(), -9999.0);
        const QJsonObject meta = info["metadata"].toObject()[""].toObject();
        QCOMPARE(meta[DrapedPair::surfaceKey()].toString(), QString("../day2.tif"));
        QCOMPARE(meta["ORVALIS_EARLIER"].toString(), QString("2026-06-12"));

        // Opened in the scene, it is the later surface wearing the ramp.
        const DrapedPair pair = DrapedPair::of(out, &error);
        QCOMPARE(QFileInfo(pair.dsm).canonicalFilePath(), QFileInfo(laterFile).canonicalFilePath());
        QCOMPARE(pair.difference, out);
        QCOMPARE(pair.rampLimit, summary.rampLimit);
    }

    void surveysInOtherSystemsAreNotCompared()
    {
        const QString a = write("utm33.tif", 0.1, E, N + 20, 50, 32633, ground);
        const QString b = write("utm34.tif", 0.1, E, N + 20, 50, 32634, ground);
        ElevationGrid ga, gb, d;
        QString error;
        QVERIFY(ElevationGrid::read(a, ga, &error) && ElevationGrid::read(b, gb, &error));
        DsmDifference::Summary summary;
        QVERIFY(!DsmDifference::compute(ga, gb, d, summary, &error));
        QVERIFY2(error.contains("different reference systems (EPSG:32633 and EPSG:32634)"),
                 qPrintable(error));
        SurveyAgreement::Result r;
        QVERIFY(!SurveyAgreement::check(ga, gb, 0.02, r, &error));
        // And ones that do not overlap.
        const QString far = write("far.tif", 0.1, E + 500, N + 20, 50, 32633, ground);
        QVERIFY(ElevationGrid::read(far, gb, &error));
        QVERIFY(!DsmDifference::compute(ga, gb, d, summary, &error));
        QVERIFY2(error.contains("do not overlap"), qPrintable(error));
    }

    void agreementFindsAShiftOnStableGround_data()
    {
        QTest::addColumn<double>("shift");
        QTest::addColumn<bool>("agrees");
        QTest::newRow("same ground") << 0.0 << true;
        QTest::newRow("within two ground samples") << 0.03 << true;
        QTest::newRow("a georeference 12 cm off") << 0.12 << false;
        QTest::newRow("one 25 cm low") << -0.25 << false;
    }

    void agreementFindsAShiftOnStableGround()
    {
        QFETCH(double, shift);
        QFETCH(bool, agrees);
        ElevationGrid a, b;
        QString error;
        QVERIFY(ElevationGrid::read(write("a.tif", 0.05, E, N + 20, 400, 32633, ground), a, &error));
        QVERIFY(ElevationGrid::read(write("b.tif", 0.05, E, N + 20, 400, 32633,
                                          [=](double x, double y) { return later(x, y, shift); }),
                                    b, &error));
        SurveyAgreement::Result r;
        QVERIFY2(SurveyAgreement::check(a, b, 0.02, r, &error), qPrintable(error));
        // The pit and heap are set aside: the median is the shift alone.
        QVERIFY2(std::fabs(r.shift - shift) < 0.002, qPrintable(QString::number(r.shift)));
        QVERIFY(r.changed > 0);
        QCOMPARE(r.agrees, agrees);
        const QString text = SurveyAgreement::message(r, "Survey 2026-06-12", "Survey 2026-06-13");
        if (!agrees)
            QVERIFY2(text.contains(QString("disagree on stable ground by %1 m").arg(shift, 0, 'f', 3)),
                     qPrintable(text));
    }

    void rampDivergesFromWhite()
    {
        QCOMPARE(ChangeRamp::colour(0, 1), (ChangeRamp::Rgba{247, 247, 247, 255}));
        QCOMPARE(ChangeRamp::colour(-3, 1), (ChangeRamp::Rgba{33, 102, 172, 255}));
        QCOMPARE(ChangeRamp::colour(1, 1), (ChangeRamp::Rgba{178, 24, 43, 255}));
        const ChangeRamp::Rgba half = ChangeRamp::colour(-0.25, 1);
        QVERIFY(half[2] > half[0]); // taken away: blue over red
        QCOMPARE(ChangeRamp::colour(NAN, 1)[3], (unsigned char)0);
    }
};

QTEST_GUILESS_MAIN(TestDsmDifference)
#include "tst_dsmdifference.moc"
