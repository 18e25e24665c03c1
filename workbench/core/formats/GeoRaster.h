#pragma once

#include <QString>
#include <QtGlobal>

#include <vector>

// A north-up GeoTIFF as the scene drapes it: an elevation model (one band of
// heights) or an image (grey, grey and alpha, RGB or RGBA bytes), read
// through GDAL at no more than a given number of cells per side (from the
// file's overviews when it has them), so a raster of any size loads in
// bounded memory and bounded work. A raster in another reference system
// than the project's is put into the project's by GDAL's warper.
class GeoRaster
{
public:
    enum class Kind { Elevation, Image };

    // What a file holds, from its header alone.
    struct Header {
        Kind kind = Kind::Elevation;
        int epsg = 0;           // 0 when the file names no EPSG code
        bool hasSystem = false; // the file names a reference system at all
        bool projected = false; // ... and it is a projected one (metres, feet), not degrees
        int width = 0, height = 0;
    };

    Kind kind = Kind::Elevation;
    int epsg = 0;                      // of the cells read: the file's, or the project's they were put into
    bool reprojected = false;          // the cells were warped into the project's system
    int fileWidth = 0, fileHeight = 0; // the full raster
    int width = 0, height = 0;         // what was read
    double left = 0, top = 0;          // survey coordinates of the top-left corner
    double cellX = 0, cellY = 0;       // size of a read cell, both positive
    std::vector<float> heights;        // Elevation: row-major from the top row, NaN where there is none
    std::vector<unsigned char> rgba;   // Image: row-major from the top row, four bytes a cell

    // Decoded bytes of the file's blocks one read may go through. A raster
    // without overviews that a read could only sample beyond this (a huge
    // or sparse file) is refused, with the way to give it overviews.
    static constexpr qint64 readBudget = qint64(1) << 30;
    // Decoded bytes of one block of one band: GDAL holds a block whole.
    static constexpr qint64 blockBudget = qint64(256) << 20;

    // False with a reason naming the file.
    static bool inspect(const QString& path, Header& out, QString* error);

    // projectEpsg is the EPSG code of the project's survey coordinates, 0
    // while none is known. A raster in another system is warped into it; a
    // raster without a system is taken to be in survey coordinates already;
    // one in degrees with no project system to go to is refused.
    static bool read(const QString& path, int maxSide, GeoRaster& out, QString* error, int projectEpsg = 0);

    // Survey coordinates of the centre of read cell (column, row).
    double x(double column) const { return left + (column + 0.5) * cellX; }
    double y(double row) const { return top - (row + 0.5) * cellY; }
};
