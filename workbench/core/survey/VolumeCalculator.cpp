#include "core/survey/VolumeCalculator.h"

#include <cmath>

#include "core/io/NumberString.h"
#include "core/survey/ElevationGrid.h"
#include "core/survey/PolygonCoverage.h"

namespace
{

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

// The plane z = a dx + b dy + c through rim samples, least squares about the
// origin o (survey coordinates would cancel digits away).
bool fitPlane(const QVector<QPointF>& ring, const ElevationGrid& grid, VolumeCalculator::Result& out)
{
    const QPointF o = ring.first();
    const double step = std::min(grid.cellX, grid.cellY);
    double s[3][3] = {}, r[3] = {};
    std::vector<double> xs, ys, zs;
    for (int i = 0; i < ring.size(); ++i) {
        const QPointF a = ring[i], b = ring[(i + 1) % ring.size()];
        const double length = std::hypot(b.x() - a.x(), b.y() - a.y());
        const int n = std::max(1, int(std::ceil(length / step)));
        for (int k = 0; k < n; ++k) {
            const double t = double(k) / n;
            const double x = a.x() + t * (b.x() - a.x()), y = a.y() + t * (b.y() - a.y());
            const double z = grid.heightAt(x, y);
            if (std::isnan(z))
                continue;
            xs.push_back(x - o.x());
            ys.push_back(y - o.y());
            zs.push_back(z);
        }
    }
    if (xs.size() < 3)
        return false;
    for (size_t i = 0; i < xs.size(); ++i) {
        const double v[3] = {xs[i], ys[i], 1};
        for (int p = 0; p < 3; ++p) {
            for (int q = 0; q < 3; ++q)
                s[p][q] += v[p] * v[q];
            r[p] += v[p] * zs[i];
        }
    }
    // Cramer's rule on the 3 x 3 normal equations.
    const auto det = [](const double m[3][3]) {
        return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
               m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
               m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    };
    const double d = det(s);
    if (!(std::fabs(d) > 1e-12))
        return false;
    double solution[3];
    for (int c = 0; c < 3; ++c) {
        double m[3][3];
        for (int p = 0; p < 3; ++p)
            for (int q = 0; q < 3; ++q)
                m[p][q] = q == c ? r[p] : s[p][q];
        solution[c] = det(m) / d;
    }
    out.baseA = solution[0];
    out.baseB = solution[1];
    out.baseC = solution[2];
    double sum = 0;
    for (size_t i = 0; i < xs.size(); ++i) {
        const double e = zs[i] - (out.baseA * xs[i] + out.baseB * ys[i] + out.baseC);
        sum += e * e;
    }
    out.rimSamples = int(xs.size());
    out.rimRms = std::sqrt(sum / double(xs.size()));
    return true;
}

QString metres(double v)
{
    return NumberString::length(v) + QStringLiteral(" m");
}

} // namespace

QString VolumeCalculator::methodName(Method method)
{
    switch (method) {
    case Method::TwoSurveys:
        return QStringLiteral("Between two surveys");
    case Method::Plane:
        return QStringLiteral("Above and below a level");
    case Method::RimBase:
        return QStringLiteral("Above the rim's plane (stockpile)");
    }
    return QString();
}

bool VolumeCalculator::compute(const Input& in, Result& out, QString* error)
{
    out = Result();
    if (!in.surface || in.surface->isEmpty())
        return fail(error, QStringLiteral("No elevation model to measure the volume on."));
    if (in.method == Method::TwoSurveys && (!in.earlier || in.earlier->isEmpty()))
        return fail(error, QStringLiteral("No earlier survey to measure the volume against."));

    if (in.method == Method::Plane && !std::isfinite(in.level))
        return fail(error, QStringLiteral("The level of the plane is not a number."));
    if (in.method == Method::TwoSurveys && !ElevationGrid::sameSystem(*in.surface, *in.earlier))
        return fail(error, QStringLiteral("The two surveys are in different reference systems (%1 and %2): "
                                          "a volume between them would compare different places.")
                               .arg(in.earlier->systemName(), in.surface->systemName()));
    const ElevationGrid& grid = *in.surface;
    const PolygonCoverage cover = PolygonCoverage::of(in.polygon, grid);
    if (in.polygon.size() < 3 || !(cover.polygonArea > 0))
        return fail(error,
                    QStringLiteral("The outline encloses no area: it needs three vertices that are not "
                                   "on one line."));
    const auto outside = [&](const QString& name, double inside) {
        return fail(error,
                    QStringLiteral("The outline lies %1 outside the elevation model of %2: only %3 % of "
                                   "its %4 m² has heights there.")
                        .arg(inside > 0 ? QStringLiteral("partly") : QStringLiteral("wholly"), name)
                        .arg(inside * 100, 0, 'f', 1)
                        .arg(cover.polygonArea, 0, 'f', 2));
    };
    if (cover.inside() < 0.999)
        return outside(in.surfaceName, cover.inside());
    if (in.method == Method::TwoSurveys) {
        const double inside = PolygonCoverage::of(in.polygon, *in.earlier).inside();
        if (inside < 0.999)
            return outside(in.earlierName, inside);
    }
    if (in.method == Method::RimBase && !fitPlane(in.polygon, grid, out))
        return fail(error, QStringLiteral("The outline's rim has too few heights to lay a base surface on."));

    const QPointF o = in.polygon.first();
    double cut = 0, fill = 0, missing = 0;
    for (int r = cover.row0; r < cover.row0 + cover.rows; ++r)
        for (int c = cover.column0; c < cover.column0 + cover.columns; ++c) {
            const double w = cover.at(c, r);
            if (w <= 0)
                continue;
            ++out.cells;
            const double z = grid.at(c, r);
            double base = 0;
            switch (in.method) {
            case Method::TwoSurveys:
                base = in.earlier->heightAt(grid.x(c), grid.y(r));
                break;
            case Method::Plane:
                base = in.level;
                break;
            case Method::RimBase:
                base = out.baseA * (grid.x(c) - o.x()) + out.baseB * (grid.y(r) - o.y()) + out.baseC;
                break;
            }
            const double d = z - base;
            if (std::isnan(d)) {
                missing += w * grid.cellArea();
                continue;
            }
            (d > 0 ? fill : cut) += std::fabs(d) * w * grid.cellArea();
        }
    if (missing > 0)
        return fail(error,
                    QStringLiteral("The outline covers %1 m² without heights in %2 (of its %3 m²): a "
                                   "volume there would be a guess. Draw it within the surveyed ground.")
                        .arg(missing, 0, 'f', 3)
                        .arg(in.method == Method::TwoSurveys
                                 ? QStringLiteral("the elevation model of %1 or %2")
                                       .arg(in.earlierName, in.surfaceName)
                                 : QStringLiteral("the elevation model of %1").arg(in.surfaceName))
                        .arg(cover.polygonArea, 0, 'f', 2));

    double sigma2 = in.surfaceAccuracy * in.surfaceAccuracy;
    switch (in.method) {
    case Method::TwoSurveys:
        sigma2 += in.earlierAccuracy * in.earlierAccuracy;
        out.volume.method = QStringLiteral("between surveys %1 and %2").arg(in.earlierName, in.surfaceName);
        break;
    case Method::Plane:
        out.volume.method =
            QStringLiteral("survey %1 against the level %2").arg(in.surfaceName, metres(in.level));
        break;
    case Method::RimBase:
        // The base is only known as well as the rim lies on a plane.
        sigma2 += out.rimRms * out.rimRms;
        out.volume.method = QStringLiteral("survey %1 above the plane of its rim (rim %2 RMS)")
                                .arg(in.surfaceName, metres(out.rimRms));
        break;
    }
    out.volume.cut = cut;
    out.volume.fill = fill;
    out.volume.net = fill - cut;
    // The exact area of a simple outline; a ring that crosses itself has only the scanned one.
    const double exact = PolygonCoverage::area(in.polygon);
    out.volume.area =
        std::fabs(exact - cover.polygonArea) < 0.01 * cover.polygonArea ? exact : cover.polygonArea;
    out.volume.uncertainty = out.volume.area * std::sqrt(sigma2);
    return true;
}
