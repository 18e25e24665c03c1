#pragma once

#include <cmath>

// A north-up raster in survey coordinates: the top-left corner of the
// top-left cell at (left, top), square cells, rows running south.
struct RasterGrid {
    double left = 0, top = 0, cell = 1;
    int width = 0, height = 0;

    double x(double column) const { return left + column * cell; }
    double y(double row) const { return top - row * cell; }
    double column(double x) const { return (x - left) / cell; }
    double row(double y) const { return (top - y) / cell; }
    int tilesAcross(int tile) const { return (width + tile - 1) / tile; }
    int tilesDown(int tile) const { return (height + tile - 1) / tile; }
};
