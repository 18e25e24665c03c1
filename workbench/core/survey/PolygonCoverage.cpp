#include "core/survey/PolygonCoverage.h"

#include <algorithm>
#include <cmath>

#include "core/survey/ElevationGrid.h"

double PolygonCoverage::area(const QVector<QPointF>& ring)
{
    if (ring.size() < 3)
        return 0;
    // About the first vertex: survey coordinates would cancel digits away.
    const QPointF o = ring.first();
    double twice = 0;
    for (int i = 0; i < ring.size(); ++i) {
        const QPointF a = ring[i] - o, b = ring[(i + 1) % ring.size()] - o;
        twice += a.x() * b.y() - b.x() * a.y();
    }
    return std::fabs(twice) / 2;
}

PolygonCoverage PolygonCoverage::of(const QVector<QPointF>& ring, const ElevationGrid& grid)
{
    PolygonCoverage c;
    if (ring.size() < 3 || grid.isEmpty())
        return c;
    double minX = ring[0].x(), maxX = minX, minY = ring[0].y(), maxY = minY;
    for (const QPointF& p : ring) {
        minX = std::min(minX, p.x());
        maxX = std::max(maxX, p.x());
        minY = std::min(minY, p.y());
        maxY = std::max(maxY, p.y());
    }
    // In grid coordinates: u east from the left edge, v south from the top, in cells.
    const double v0 = (grid.top - maxY) / grid.cellY, v1 = (grid.top - minY) / grid.cellY;
    const double u0 = (minX - grid.left) / grid.cellX, u1 = (maxX - grid.left) / grid.cellX;
    // Polygons far larger than the grid are measured on the grid's rows alone.
    if (!(std::isfinite(u0) && std::isfinite(u1) && std::isfinite(v0) && std::isfinite(v1)) ||
        (v1 - v0) > 1e7 || (u1 - u0) > 1e7)
        return c;
    c.column0 = std::clamp(int(std::floor(u0)), 0, grid.width);
    c.row0 = std::clamp(int(std::floor(v0)), 0, grid.height);
    c.columns = std::clamp(int(std::ceil(u1)), 0, grid.width) - c.column0;
    c.rows = std::clamp(int(std::ceil(v1)), 0, grid.height) - c.row0;
    if (c.columns > 0 && c.rows > 0)
        c.weight.assign(size_t(c.columns) * size_t(c.rows), 0.f);

    std::vector<QPointF> local(size_t(ring.size()));
    for (int i = 0; i < ring.size(); ++i)
        local[size_t(i)] =
            QPointF((ring[i].x() - grid.left) / grid.cellX, (grid.top - ring[i].y()) / grid.cellY);
    std::vector<double> crossings;
    std::vector<double> rowWeight(size_t(std::max(0, c.columns)));
    double total = 0; // span length over all scan lines, in cells, on the grid or not
    for (int row = int(std::floor(v0)); row < int(std::ceil(v1)); ++row) {
        const bool onGrid = row >= c.row0 && row < c.row0 + c.rows && c.columns > 0;
        std::fill(rowWeight.begin(), rowWeight.end(), 0.0);
        for (int s = 0; s < scanLines; ++s) {
            const double v = row + (s + 0.5) / scanLines;
            crossings.clear();
            for (size_t i = 0; i < local.size(); ++i) {
                const QPointF& a = local[i];
                const QPointF& b = local[(i + 1) % local.size()];
                // Half-open in v, so a vertex on the scan line counts once.
                if ((a.y() <= v) != (b.y() <= v))
                    crossings.push_back(a.x() + (v - a.y()) / (b.y() - a.y()) * (b.x() - a.x()));
            }
            std::sort(crossings.begin(), crossings.end());
            for (size_t k = 0; k + 1 < crossings.size(); k += 2) {
                total += crossings[k + 1] - crossings[k];
                if (!onGrid)
                    continue;
                const double a = std::max(crossings[k], double(c.column0)),
                             b = std::min(crossings[k + 1], double(c.column0 + c.columns));
                if (!(b > a))
                    continue;
                const int first = int(std::floor(a));
                const int last = std::min(int(std::ceil(b)) - 1, c.column0 + c.columns - 1);
                for (int col = first; col <= last; ++col) {
                    const double overlap = std::min(b, double(col + 1)) - std::max(a, double(col));
                    if (overlap > 0)
                        rowWeight[size_t(col - c.column0)] += overlap;
                }
            }
        }
        if (!onGrid)
            continue;
        for (int col = 0; col < c.columns; ++col) {
            const double w = rowWeight[size_t(col)] / scanLines;
            c.weight[size_t(row - c.row0) * size_t(c.columns) + size_t(col)] = float(w);
            c.coveredArea += w * grid.cellArea();
        }
    }
    c.polygonArea = total / scanLines * grid.cellArea();
    return c;
}
