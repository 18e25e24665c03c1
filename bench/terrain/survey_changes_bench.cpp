// survey_changes_bench <work folder> <W>x<D> <cell>: the DSM difference, a
// volume over a 20 x 17 m context and contours at 10 cm on two elevation
// models of a W x D m site at <cell> metres; see CMakeLists.txt.
#include <QDir>
#include <QString>

#include <cmath>
#include <cstdio>
#include <random>

#include "BenchSupport.h"
#include "SiteModel.h"
#include "core/survey/ContourMaker.h"
#include "core/survey/DsmDifference.h"
#include "core/survey/ElevationGrid.h"
#include "core/survey/VolumeCalculator.h"

namespace
{

constexpr double E = 712000, N = 4123000, H = 95;

bool makeDsm(const SiteModel& site, double width, double depth, double cell, std::uint64_t seed,
             const QString& path)
{
    ElevationGrid g;
    g.width = int(std::lround(width / cell));
    g.height = int(std::lround(depth / cell));
    g.cellX = g.cellY = cell;
    g.left = E;
    g.top = N + depth;
    g.epsg = 32633;
    g.heights.resize(size_t(g.width) * size_t(g.height));
    std::mt19937_64 random(seed);
    std::normal_distribution<float> noise(0, 0.005f);
    for (int r = 0; r < g.height; ++r)
        for (int c = 0; c < g.width; ++c)
            g.heights[size_t(r) * size_t(g.width) + size_t(c)] =
                float(H + site.heightAt(g.x(c) - E, g.y(r) - N)) + noise(random);
    QString error;
    if (!g.writeGeoTiff(path, {}, &error)) {
        std::fprintf(stderr, "survey_changes_bench: %s\n", qPrintable(error));
        return false;
    }
    return true;
}

void report(const char* what, const BenchSupport::Figure& f)
{
    std::printf("%-44s %8.2f s %10.1f MB peak%s\n", what, f.seconds, f.peakGrowth / 1e6,
                f.points > 0 ? "" : "   (failed)");
}

} // namespace

int main(int argc, char* argv[])
{
    double width = 160, depth = 110, cell = 0.03;
    if (argc < 2 || (argc >= 3 && std::sscanf(argv[2], "%lfx%lf", &width, &depth) != 2) ||
        (argc >= 4 && std::sscanf(argv[3], "%lf", &cell) != 1) || !(cell > 0.005) || !(width > 30) ||
        !(depth > 25)) {
        std::fprintf(stderr, "usage: survey_changes_bench <work folder> [WxD metres] [cell metres]\n");
        return 2;
    }
    const QString work = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(work);
    const QString day1 = work + QStringLiteral("/day1.tif"), day2 = work + QStringLiteral("/day2.tif");
    std::printf("Site %g x %g m at %g m cells: %d x %d cells\n", width, depth, cell,
                int(std::lround(width / cell)), int(std::lround(depth / cell)));
    SiteModel site = SiteModel::generate(width, depth, 0.1, 1);
    BenchSupport::Stopwatch made;
    if (!makeDsm(site, width, depth, cell, 1, day1))
        return 1;
    site.advanceTo(2);
    if (!makeDsm(site, width, depth, cell, 2, day2))
        return 1;
    std::printf("(two elevation models written in %.1f s)\n", made.seconds());
    // The context: 20 x 17 m over the first trench, whose floor day 2 deepened.
    const SiteModel::Cut cut = site.cuts().front();
    const double cx = E + (cut.x0 + cut.x1) / 2, cy = N + (cut.y0 + cut.y1) / 2;
    const QVector<QPointF> context{QPointF(cx - 10, cy - 8.5), QPointF(cx + 10, cy - 8.5),
                                   QPointF(cx + 10, cy + 8.5), QPointF(cx - 10, cy + 8.5)};

    BenchSupport::warm(day1.toStdString());
    BenchSupport::warm(day2.toStdString());
    report("DSM difference (read both, compute, write)",
           BenchSupport::median(
               [&]() -> long long {
                   ElevationGrid a, b, d;
                   DsmDifference::Summary s;
                   QString error;
                   if (!ElevationGrid::read(day1, a, &error) || !ElevationGrid::read(day2, b, &error) ||
                       !DsmDifference::compute(a, b, d, s, &error) ||
                       !DsmDifference::write(work + "/change.tif", d, s, day2, "day 1", "day 2", &error))
                       return 0;
                   return s.cells;
               },
               3));
    report("Volume over a 20 x 17 m context",
           BenchSupport::median(
               [&]() -> long long {
                   ElevationGrid::Window w{cx - 10, cy - 8.5, cx + 10, cy + 8.5};
                   ElevationGrid a, b;
                   QString error;
                   if (!ElevationGrid::read(day1, a, &error, &w) || !ElevationGrid::read(day2, b, &error, &w))
                       return 0;
                   VolumeCalculator::Input in;
                   in.polygon = context;
                   in.surface = &b;
                   in.earlier = &a;
                   VolumeCalculator::Result r;
                   if (!VolumeCalculator::compute(in, r, &error))
                       return 0;
                   return r.cells;
               },
               3));
    report("Contours every 10 cm (smoothed, GPKG + DXF)",
           BenchSupport::median(
               [&]() -> long long {
                   ElevationGrid g;
                   QString error;
                   if (!ElevationGrid::read(day2, g, &error))
                       return 0;
                   ContourMaker::Settings s;
                   s.interval = 0.1;
                   s.smoothing = 2 * cell;
                   ContourMaker::Result r;
                   if (!ContourMaker::make(g, s, work + "/contours.gpkg", work + "/contours.dxf", r, &error))
                       return 0;
                   std::fprintf(stderr, "(%d contour lines, %d left out)\n", r.lines, r.dropped);
                   return r.lines;
               },
               1));
    return 0;
}
