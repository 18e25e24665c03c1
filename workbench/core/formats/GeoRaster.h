#pragma once

#include <QString>

#include <vector>

// A north-up GeoTIFF as the scene drapes it: an elevation model (one band of
// heights) or an image (RGB or RGBA bytes), read through GDAL at no more than
// a given number of cells per side (from the file's overviews when it has
// them), so a raster of any size loads in bounded memory.
class GeoRaster
{
public:
    enum class Kind { Elevation, Image };

    Kind kind = Kind::Elevation;
    int epsg = 0;                      // 0 when the file names no EPSG code
    int fileWidth = 0, fileHeight = 0; // the full raster
    int width = 0, height = 0;         // what was read
    double left = 0, top = 0;          // survey coordinates of the top-left corner
    double cellX = 0, cellY = 0;       // size of a read cell, both positive
    std::vector<float> heights;        // Elevation: row-major from the top row, NaN where there is none
    std::vector<unsigned char> rgba;   // Image: row-major from the top row, four bytes a cell

    // False with a reason naming the file.
    static bool read(const QString& path, int maxSide, GeoRaster& out, QString* error);

    // Survey coordinates of the centre of read cell (column, row).
    double x(double column) const { return left + (column + 0.5) * cellX; }
    double y(double row) const { return top - (row + 0.5) * cellY; }
};
