#include <QtTest>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <random>
#include <sstream>
#include <tuple>

#include "common/formats/NvmFile.h"
#include "common/geometry/Rotation.h"
#include "SiteModel.h"
#include "SurveyWriter.h"
#include "ToolProcess.h"
#include "core/survey/ContourMaker.h"
#include "core/survey/DsmDifference.h"
#include "core/survey/ElevationGrid.h"
#include "core/survey/SectionProfile.h"
#include "core/survey/SiteSurvey.h"
#include "core/survey/SurveyAgreement.h"
#include "core/survey/VolumeCalculator.h"

namespace fs = std::filesystem;

// Two days of one synthetic site whose changes are known (surveygen's second
// day deepens a trench over a rectangle and grows a spoil heap), each
// surveyed through OrthoDsm from a dense cloud sampled from that day's true
// surface with noise, and the site's questions answered against the truth:
// volumes, unchanged ground, a section, contours. GDAL reads what was written.
class TestSurveyChanges : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    SurveyWriter::Settings m_settings;
    SiteModel m_day[2];
    SiteSurvey m_survey[2];
    ElevationGrid m_dsm[2];

    QString path(const QString& name) const { return m_dir.filePath(name); }
    double E() const { return m_settings.originEasting; }
    double N() const { return m_settings.originNorthing; }
    double H() const { return m_settings.originHeight; }
    // The true surface of a day in survey coordinates.
    double truth(int day, double x, double y) const { return H() + m_day[day].heightAt(x - E(), y - N()); }
    double gsd() const { return m_survey[1].groundSample; }

    static std::vector<std::vector<std::string>> rows(const QString& file)
    {
        std::ifstream in(file.toStdString());
        std::vector<std::vector<std::string>> out;
        for (std::string line; std::getline(in, line);) {
            if (line.empty() || line[0] == '#')
                continue;
            std::istringstream fields(line);
            std::vector<std::string> row;
            for (std::string f; fields >> f;)
                row.push_back(f);
            out.push_back(row);
        }
        return out;
    }

    // The pipeline folder of a day as the stages leave it: the photos, the
    // true cameras (the model frame is the survey's, shifted), the companion
    // file and a cloud sampled from the day's surface.
    void makeSurvey(int day)
    {
        const QString survey = path(QString("survey%1").arg(day + 1));
        const fs::path dir = path(QString("run%1").arg(day + 1)).toStdString();
        fs::create_directories(dir / "pmvs/models");
        NvmFile nvm;
        nvm.models.emplace_back();
        for (const auto& c : rows(survey + "/truth/cameras.txt")) {
            NvmFile::Camera cam;
            cam.name = c[0];
            cam.focal = std::stod(c[3]);
            cam.centre = {std::stod(c[7]) - E(), std::stod(c[8]) - N(), std::stod(c[9]) - H()};
            std::array<double, 9> rotation{};
            for (size_t k = 0; k < 9; ++k)
                rotation[k] = std::stod(c[10 + k]);
            cam.quaternion = Rotation::quaternionOf(rotation);
            nvm.models.front().cameras.push_back(cam);
            fs::create_symlink((survey + "/photos/").toStdString() + c[0], dir / c[0]);
        }
        std::string error;
        QVERIFY2(nvm.writeFile((dir / "sparse.nvm").string(), &error), error.c_str());
        std::ofstream geo(dir / "sparse.txt");
        geo << std::setprecision(17) << "1 0 0\n0 1 0\n0 0 1\n"
            << E() << ' ' << N() << ' ' << H() << "\n1 1 1\nEPSG:32633\n";
        geo.close();
        // 2.5 cm apart with 1 cm of noise, over the site and 2 m around it.
        std::mt19937_64 random(11 + day);
        std::normal_distribution<double> noise(0, 0.01);
        std::vector<float> xyz;
        for (double y = -2; y <= m_settings.siteDepth + 2; y += 0.025)
            for (double x = -2; x <= m_settings.siteWidth + 2; x += 0.025)
                xyz.insert(xyz.end(), {float(x), float(y), float(m_day[day].heightAt(x, y) + noise(random))});
        std::ofstream ply(dir / "pmvs/models/option-0000.ply", std::ios::binary);
        ply << "ply\nformat binary_little_endian 1.0\nelement vertex " << xyz.size() / 3
            << "\nproperty float x\nproperty float y\nproperty float z\nend_header\n";
        ply.write(reinterpret_cast<const char*>(xyz.data()), std::streamsize(xyz.size() * sizeof(float)));
    }

    // The ground taken away and the ground added within a box outline, on a
    // fine lattice of the truth.
    std::pair<double, double> trueChange(const QVector<QPointF>& polygon,
                                         const std::function<double(double, double)>& change) const
    {
        const double minX = polygon[0].x(), minY = polygon[0].y(), maxX = polygon[2].x(),
                     maxY = polygon[2].y();
        const double step = 0.01;
        double cut = 0, fill = 0;
        for (double y = minY + step / 2; y < maxY; y += step)
            for (double x = minX + step / 2; x < maxX; x += step) {
                const double d = change(x, y);
                (d > 0 ? fill : cut) += std::fabs(d) * step * step;
            }
        return {cut, fill};
    }

    static QVector<QPointF> box(double x0, double y0, double x1, double y1)
    {
        return {QPointF(x0, y0), QPointF(x1, y0), QPointF(x1, y1), QPointF(x0, y1)};
    }

    // Three sigmas round the heap, within the surveyed ground (the site and
    // a metre round it) and short of the trench beside it.
    QVector<QPointF> heapBox(const SiteModel::Heap& heap) const
    {
        const double r = 3 * heap.sigma;
        double x0 = std::max(-1.0, heap.x - r), y0 = std::max(-1.0, heap.y - r);
        double x1 = std::min(m_settings.siteWidth + 1, heap.x + r),
               y1 = std::min(m_settings.siteDepth + 1, heap.y + r);
        const SiteModel::Trench& t = m_day[1].trenches().front();
        if (heap.y < t.y0)
            y1 = std::min(y1, t.y0 - 0.3);
        else if (heap.y > t.y1)
            y0 = std::max(y0, t.y1 + 0.3);
        else if (heap.x < t.x0)
            x1 = std::min(x1, t.x0 - 0.3);
        else
            x0 = std::max(x0, t.x1 + 0.3);
        return box(E() + x0, N() + y0, E() + x1, N() + y1);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_settings.flight.photos = 12;
        m_settings.flight.width = 800;
        m_settings.flight.height = 600;
        m_settings.flight.altitude = 20;
        m_settings.siteWidth = 30;
        m_settings.siteDepth = 24;
        m_settings.gpsNoise = 0;
        m_settings.targets = 0;
        m_settings.seed = m_settings.flight.seed = 5;
        for (int day = 0; day < 2; ++day) {
            SurveyWriter::Settings s = m_settings;
            s.day = day + 1;
            std::ostringstream progress;
            std::string error;
            const QString folder = path(QString("survey%1").arg(day + 1));
            QVERIFY2(SurveyWriter::write(s, folder.toStdString(), progress, &error), error.c_str());
            std::ifstream siteFile((folder + "/truth/site.txt").toStdString());
            std::stringstream text;
            text << siteFile.rdbuf();
            QVERIFY2(SiteModel::fromText(text.str(), &m_day[day], &error), error.c_str());
            makeSurvey(day);
            const ToolProcess run =
                ToolProcess::run("OrthoDsm", {path(QString("run%1").arg(day + 1)), "--max-hole", "1",
                                              "--tile", "256", "--threads", "2"});
            QVERIFY2(run.exitCode == 0, qPrintable(run.err + run.out));
            QString why;
            QVERIFY2(SiteSurvey::of(path(QString("run%1/ortho/dsm.tif").arg(day + 1)), m_survey[day], &why),
                     qPrintable(why));
            QVERIFY2(ElevationGrid::read(m_survey[day].dsm, m_dsm[day], &why), qPrintable(why));
        }
        QCOMPARE(m_day[1].cuts().size(), size_t(1));
        QCOMPARE(m_day[1].growth().size(), size_t(1));
        qInfo("ground sample %.4f m, DSM cell %.4f m", gsd(), m_survey[1].dsmCell);
    }

    void surveysAreDatedAndAgreeOnStableGround()
    {
        QCOMPARE(m_survey[0].date, QString("2026-06-12"));
        QCOMPARE(m_survey[1].date, QString("2026-06-13"));
        QCOMPARE(m_survey[1].label(), QString("Survey 2026-06-13"));
        QCOMPARE(m_survey[0].epsg, 32633);
        QCOMPARE(m_survey[0].folder, QFileInfo(path("run1")).absoluteFilePath());
        SurveyAgreement::Result r;
        QString error;
        QVERIFY2(SurveyAgreement::check(m_dsm[0], m_dsm[1], gsd(), r, &error), qPrintable(error));
        qInfo("stable ground: median %.4f m over %lld cells, %lld changed", r.shift, r.stable, r.changed);
        QVERIFY(r.agrees);
        QVERIFY(std::fabs(r.shift) < gsd());
        QVERIFY(r.changed > 0);
    }

    void differenceOnUnchangedGroundIsWithinOneGroundSample()
    {
        ElevationGrid d;
        DsmDifference::Summary summary;
        QString error;
        QVERIFY2(DsmDifference::compute(m_dsm[0], m_dsm[1], d, summary, &error), qPrintable(error));
        const QString file = DsmDifference::fileFor(m_survey[1].folder, m_survey[0].date, m_survey[1].date);
        QVERIFY2(DsmDifference::write(file, d, summary, m_survey[1].dsm, m_survey[0].date, m_survey[1].date,
                                      &error),
                 qPrintable(error));
        // Read back by GDAL, as a GIS would.
        GDALAllRegister();
        GDALDataset* ds = GDALDataset::FromHandle(GDALOpen(file.toUtf8().constData(), GA_ReadOnly));
        QVERIFY(ds);
        QCOMPARE(QByteArray(ds->GetSpatialRef()->GetAuthorityCode(nullptr)), QByteArray("32633"));
        const int w = ds->GetRasterXSize(), h = ds->GetRasterYSize();
        std::vector<float> cells(size_t(w) * size_t(h));
        QCOMPARE(ds->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, w, h, cells.data(), w, h, GDT_Float32, 0, 0,
                                                nullptr),
                 CE_None);
        double t[6];
        ds->GetGeoTransform(t);
        GDALClose(ds);
        long long unchanged = 0, close = 0, changedCells = 0, changedRight = 0;
        const double reach = 3 * m_survey[1].dsmCell;
        for (int r = 0; r < h; ++r)
            for (int c = 0; c < w; ++c) {
                const float v = cells[size_t(r) * size_t(w) + size_t(c)];
                if (v == -9999.0f)
                    continue;
                const double x = t[0] + (c + 0.5) * t[1], y = t[3] + (r + 0.5) * t[5];
                double most = 0; // the true change here and a few cells around
                for (double dy = -reach; dy <= reach; dy += reach / 3)
                    for (double dx = -reach; dx <= reach; dx += reach / 3)
                        most = std::max(most, std::fabs(truth(1, x + dx, y + dy) - truth(0, x + dx, y + dy)));
                const double change = truth(1, x, y) - truth(0, x, y);
                if (most < 1e-6) {
                    ++unchanged;
                    close += std::fabs(v) <= gsd();
                } else if (std::fabs(change) > 0.1) {
                    ++changedCells;
                    changedRight += std::fabs(v - change) <= 2 * gsd();
                }
            }
        qInfo(
            "unchanged ground: %lld of %lld cells within one ground sample; changed: %lld of %lld within two",
            close, unchanged, changedRight, changedCells);
        QVERIFY(unchanged > 100000);
        QVERIFY2(close >= 0.95 * double(unchanged),
                 qPrintable(QString("%1 of %2").arg(close).arg(unchanged)));
        QVERIFY(changedRight >= 0.9 * double(changedCells));
    }

    void volumesOfTheChangesMatchTheTruth_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("trench deepened") << "trench";
        QTest::newRow("spoil heap grown") << "heap";
        QTest::newRow("heap above its rim") << "rim";
        QTest::newRow("trench floor below a level") << "level";
    }

    void volumesOfTheChangesMatchTheTruth()
    {
        QFETCH(QString, change);
        const SiteModel::Cut cut = m_day[1].cuts().front();
        const SiteModel::Heap heap = m_day[1].growth().front();
        VolumeCalculator::Input in;
        in.surface = &m_dsm[1];
        in.earlier = &m_dsm[0];
        in.surfaceName = m_survey[1].date;
        in.earlierName = m_survey[0].date;
        in.surfaceAccuracy = in.earlierAccuracy = gsd();
        double truthCut = 0, truthFill = 0;
        const auto diff = [&](double x, double y) { return truth(1, x, y) - truth(0, x, y); };
        if (change == "trench") {
            // The outline drawn 30 cm outside the deepened rectangle, on the trench's floor step.
            in.polygon = box(E() + cut.x0 - 0.3, N() + cut.y0 - 0.3, E() + cut.x1 + 0.3, N() + cut.y1 + 0.3);
            std::tie(truthCut, truthFill) = trueChange(in.polygon, diff);
        } else if (change == "heap") {
            in.polygon = heapBox(heap);
            std::tie(truthCut, truthFill) = trueChange(in.polygon, diff);
        } else if (change == "rim") {
            in.method = VolumeCalculator::Method::RimBase;
            in.polygon = heapBox(heap);
            // The same convention on the true surface: its rim's plane, fitted as the calculator does.
            ElevationGrid fine = m_dsm[1];
            for (int row = 0; row < fine.height; ++row)
                for (int c = 0; c < fine.width; ++c)
                    fine.heights[size_t(row) * size_t(fine.width) + size_t(c)] =
                        float(truth(1, fine.x(c), fine.y(row)));
            VolumeCalculator::Input exactInput = in;
            exactInput.surface = &fine;
            VolumeCalculator::Result exact;
            QString error;
            QVERIFY2(VolumeCalculator::compute(exactInput, exact, &error), qPrintable(error));
            truthFill = exact.volume.fill;
            truthCut = exact.volume.cut;
        } else {
            // The deepened floor against the level of the floor before.
            in.method = VolumeCalculator::Method::Plane;
            in.polygon = box(E() + cut.x0 + 0.1, N() + cut.y0 + 0.1, E() + cut.x1 - 0.1, N() + cut.y1 - 0.1);
            in.level = truth(0, E() + (cut.x0 + cut.x1) / 2, N() + (cut.y0 + cut.y1) / 2);
            std::tie(truthCut, truthFill) =
                trueChange(in.polygon, [&](double x, double y) { return truth(1, x, y) - in.level; });
        }
        VolumeCalculator::Result r;
        QString error;
        QVERIFY2(VolumeCalculator::compute(in, r, &error), qPrintable(error));
        qInfo("%s: cut %.4f (truth %.4f), fill %.4f (truth %.4f), ± %.4f m³", qPrintable(change),
              r.volume.cut, truthCut, r.volume.fill, truthFill, r.volume.uncertainty);
        QVERIFY(std::max(truthCut, truthFill) > 0.5);
        for (const auto& [measured, expected] :
             {std::pair(r.volume.cut, truthCut), std::pair(r.volume.fill, truthFill)})
            QVERIFY2(std::fabs(measured - expected) <= std::max(0.02 * expected, r.volume.uncertainty),
                     qPrintable(QString("%1 against %2").arg(measured).arg(expected)));
    }

    void sectionFollowsTheTrueSurface()
    {
        // Across the trench and the heap, from the site's west edge to its east edge.
        const SiteModel::Cut cut = m_day[1].cuts().front();
        const QPointF a(E() + 1, N() + (cut.y0 + cut.y1) / 2), b(E() + m_settings.siteWidth - 1, a.y() + 3);
        SectionProfile p;
        p.start = a;
        p.end = b;
        for (int day = 0; day < 2; ++day)
            p.lines.push_back(SectionProfile::sample(m_dsm[day], a, b, m_survey[day].date));
        long long samples = 0, close = 0;
        for (int day = 0; day < 2; ++day)
            for (const SectionProfile::Sample& s : p.lines[day].samples) {
                if (std::isnan(s.z))
                    continue;
                ++samples;
                close += std::fabs(s.z - truth(day, s.x, s.y)) <= 2 * gsd();
            }
        qInfo("section: %lld of %lld heights within two ground samples", close, samples);
        QVERIFY(samples > 500);
        // Where a wall drops half a metre within a cell no grid can follow it.
        QVERIFY2(close >= 0.95 * double(samples), qPrintable(QString("%1 of %2").arg(close).arg(samples)));
        QString error;
        QVERIFY2(p.writeDxf(path("section.dxf"), &error), qPrintable(error));
        QVERIFY2(p.writeCsv(path("section.csv"), &error), qPrintable(error));
    }

    void contoursLieAtTheirHeights()
    {
        ContourMaker::Settings s;
        s.interval = 0.1;
        s.smoothing = m_survey[1].dsmCell;
        const QString gpkg = path("contours.gpkg"), dxf = path("contours.dxf");
        ContourMaker::Result r;
        QString error;
        QVERIFY2(ContourMaker::make(m_dsm[1], s, gpkg, dxf, r, &error), qPrintable(error));
        std::vector<ContourMaker::Line> lines;
        int epsg = 0;
        QVERIFY2(ContourMaker::readLines(gpkg, lines, epsg, &error), qPrintable(error));
        QCOMPARE(epsg, 32633);
        // A vertex is at its height when the true surface within one DSM cell
        // of it passes within two ground samples of its level: on a trench
        // wall the ground drops more than that across one cell, so there the
        // grid places a line to its cell. On gentle ground the height at the
        // vertex itself must be right.
        long long vertices = 0, near = 0, gentle = 0, gentleClose = 0;
        const double cell = m_survey[1].dsmCell;
        for (const auto& line : lines)
            for (const auto& v : line) {
                ++vertices;
                double low = 1e300, high = -1e300;
                for (double dy = -cell; dy <= cell; dy += cell / 4)
                    for (double dx = -cell; dx <= cell; dx += cell / 4) {
                        const double z = truth(1, v[0] + dx, v[1] + dy);
                        low = std::min(low, z);
                        high = std::max(high, z);
                    }
                near += v[2] >= low - 2 * gsd() && v[2] <= high + 2 * gsd();
                if (high - low < 0.3 * 2 * cell) {
                    ++gentle;
                    gentleClose += std::fabs(truth(1, v[0], v[1]) - v[2]) <= 2 * gsd();
                }
            }
        qInfo("contours: %d lines (%d left out); %lld of %lld vertices at their height within a cell, on "
              "gentle "
              "ground %lld of %lld at the vertex",
              r.lines, r.dropped, near, vertices, gentleClose, gentle);
        QVERIFY(r.lines > 50);
        QVERIFY2(near >= 0.95 * double(vertices), qPrintable(QString("%1 of %2").arg(near).arg(vertices)));
        QVERIFY(gentle > 1000);
        QVERIFY2(gentleClose >= 0.95 * double(gentle),
                 qPrintable(QString("%1 of %2").arg(gentleClose).arg(gentle)));
        GDALAllRegister();
        GDALDataset* ds =
            GDALDataset::FromHandle(GDALOpenEx(dxf.toUtf8(), GDAL_OF_VECTOR, nullptr, nullptr, nullptr));
        QVERIFY(ds);
        QCOMPARE(int(ds->GetLayer(0)->GetFeatureCount()), r.lines);
        GDALClose(ds);
    }
};

QTEST_MAIN(TestSurveyChanges)
#include "tst_surveychanges.moc"
