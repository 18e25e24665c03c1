#pragma once

#include <QPointF>
#include <QVector>

#include <vector>

class ElevationGrid;

// How much of each grid cell a polygon covers, from 0 to 1: the polygon's
// area shared out over the cells it meets, so a sum over the cells is an
// integral over the polygon (its edges cut cells, they do not round them).
// Computed along eight scan lines per row of cells; the even-odd rule holds
// for a ring that crosses itself.
class PolygonCoverage
{
public:
    int column0 = 0, row0 = 0; // the first cell of the covered block
    int columns = 0, rows = 0;
    std::vector<float> weight; // row-major over the block
    double coveredArea = 0;    // square metres, within the grid
    double polygonArea = 0;    // square metres, the whole polygon (by the same rule, on the grid or off it)

    static constexpr int scanLines = 8;

    // ring: survey coordinates, not closed (the last vertex joins the first).
    static PolygonCoverage of(const QVector<QPointF>& ring, const ElevationGrid& grid);
    // The area of a simple ring by the shoelace formula, always positive.
    static double area(const QVector<QPointF>& ring);

    float at(int column, int row) const
    {
        return weight[size_t(row - row0) * size_t(columns) + size_t(column - column0)];
    }
    // The part of the polygon that lies on the grid, 0 to 1.
    double inside() const { return polygonArea > 0 ? coveredArea / polygonArea : 0; }
};
