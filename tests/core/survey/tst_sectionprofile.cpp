#include <QtTest>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <cmath>

#include "common/numbers/NumberText.h"
#include "core/survey/ElevationGrid.h"
#include "core/survey/SectionProfile.h"

// A section along a line across a sloping plane with a hole, a cloud's
// points in and out of the corridor, written as CSV and as DXF and read
// back through OGR.
class TestSectionProfile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    static constexpr double E = 712000, N = 4123000;

    static double plane(double x, double y) { return 95 + 0.1 * x - 0.05 * y; }

    static ElevationGrid grid()
    {
        ElevationGrid g;
        g.width = g.height = 200;
        g.cellX = g.cellY = 0.1;
        g.left = E;
        g.top = N + 20;
        g.epsg = 32633;
        g.heights.resize(40000);
        for (int r = 0; r < 200; ++r)
            for (int c = 0; c < 200; ++c) {
                const double x = g.x(c) - E, y = g.y(r) - N;
                g.heights[size_t(r) * 200 + size_t(c)] =
                    std::hypot(x - 10, y - 10) < 1 ? NAN : float(plane(x, y));
            }
        return g;
    }

    SectionProfile section()
    {
        SectionProfile p;
        p.start = QPointF(E + 2.03, N + 10.01);
        p.end = QPointF(E + 17.97, N + 10.01);
        p.width = 0.5;
        p.lines.push_back(SectionProfile::sample(grid(), p.start, p.end, "2026-06-12"));
        // Three points in the corridor (one on each side), two outside it, one beyond the end.
        const double origin[3] = {E, N, 90};
        const double xyz[] = {5, 10.2, 5.3, 6, 9.8, 5.4, 7,    10.01, 5.5,
                              8, 10.4, 5.6, 9, 9.5, 5.7, 18.5, 10,    5.8};
        p.cloud = SectionProfile::corridor(xyz, 6, origin, p.start, p.end, p.width);
        return p;
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void heightsFollowTheSurfaceAndGapsStayGaps()
    {
        const SectionProfile p = section();
        const SectionProfile::Line& line = p.lines.first();
        QVERIFY(std::fabs(p.length() - 15.94) < 1e-9);
        QCOMPARE(line.samples.first().distance, 0.0);
        QCOMPARE(line.samples.last().distance, p.length());
        int gaps = 0;
        for (const SectionProfile::Sample& s : line.samples) {
            if (std::isnan(s.z)) {
                ++gaps;
                QVERIFY(std::fabs(s.x - E - 10) < 1.2);
                continue;
            }
            QVERIFY2(std::fabs(s.z - plane(s.x - E, s.y - N)) < 1e-4,
                     qPrintable(QString::number(s.distance)));
        }
        QVERIFY(gaps >= 18 && gaps <= 24); // 2 m of hole, at a sample a cell
        QCOMPARE(p.cloud.size(), 3);
        QCOMPARE(p.cloud[0].x, E + 5);
        QVERIFY(std::fabs(p.cloud[0].offset - 0.19) < 1e-9); // left of an eastward line: north
        QVERIFY(std::fabs(p.cloud[1].offset + 0.21) < 1e-9);
        QCOMPARE(p.cloud[2].z, 95.5);
    }

    void aLineOfNoLengthIsRefused()
    {
        QString error;
        QVERIFY(!SectionProfile::checkLine(QPointF(E, N), QPointF(E + 0.001, N), 1, &error));
        QVERIFY2(error.contains("lie at one place"), qPrintable(error));
        QVERIFY(!SectionProfile::checkLine(QPointF(E, N), QPointF(E + 5, N), -1, &error));
        QVERIFY(SectionProfile::checkLine(QPointF(E, N), QPointF(E + 5, N), 0, &error));
    }

    void csvKeepsEveryDigit()
    {
        const SectionProfile p = section();
        const QString path = m_dir.filePath("section.csv");
        QString error;
        QVERIFY2(p.writeCsv(path, &error), qPrintable(error));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> rows = file.readAll().trimmed().split('\n');
        QCOMPARE(rows.first(), QByteArray("source,distance,offset,x,y,z"));
        int line = 0, cloud = 0;
        for (int i = 1; i < rows.size(); ++i) {
            const QList<QByteArray> f = rows[i].split(',');
            QCOMPARE(f.size(), 6);
            double x = 0;
            QVERIFY(NumberText::read(f[3].constData(), f[3].constData() + f[3].size(), x));
            (f[0] == "cloud" ? cloud : line)++;
            if (i == 1)
                QCOMPARE(x, p.lines[0].samples[0].x);
        }
        QCOMPARE(cloud, 3);
        QVERIFY(line > 130);
    }

    void dxfDrawsTheSectionAtTheSiteAndOnPaper()
    {
        const SectionProfile p = section();
        const QString path = m_dir.filePath("section.dxf");
        QString error;
        QVERIFY2(p.writeDxf(path, &error), qPrintable(error));
        GDALAllRegister();
        GDALDataset* ds =
            GDALDataset::FromHandle(GDALOpenEx(path.toUtf8(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr));
        QVERIFY(ds);
        QMap<QString, int> layers;
        for (auto& f : *ds->GetLayer(0)) {
            const QString layer = f->GetFieldAsString("Layer");
            ++layers[layer];
            const OGRGeometry* g = f->GetGeometryRef();
            if (layer == "SECTION_2026-06-12") {
                const OGRLineString* l = g->toLineString();
                QVERIFY(l->getX(0) > E && l->getY(0) > N);
                QVERIFY(std::fabs(l->getZ(0) - plane(l->getX(0) - E, l->getY(0) - N)) < 1e-4);
            } else if (layer == "ELEVATION_2026-06-12") {
                const OGRLineString* l = g->toLineString();
                QVERIFY(l->getX(0) >= 0 && l->getX(0) < 16 && l->getY(0) > 90 && l->getY(0) < 100);
            }
        }
        GDALClose(ds);
        // The hole splits the line in two, on both drawings.
        QCOMPARE(layers.value("SECTION_2026-06-12"), 2);
        QCOMPARE(layers.value("ELEVATION_2026-06-12"), 2);
        QCOMPARE(layers.value("CLOUD"), 3);
        QCOMPARE(layers.value("ELEVATION_CLOUD"), 3);
    }
};

QTEST_GUILESS_MAIN(TestSectionProfile)
#include "tst_sectionprofile.moc"
