#pragma once

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QtGlobal>

#include <vector>

// An elevation model at its full resolution, or the part of it a task needs:
// the heights of a north-up GeoTIFF read through GDAL into floats (NaN where
// there is none), with the grid's place in double precision and its
// reference system. The computations of the site's surveys (differences,
// volumes, sections, contours) work on it; GeoRaster is what the scene
// draws, at a bounded size.
class ElevationGrid
{
public:
    // The part of the survey to read, in survey coordinates.
    struct Window {
        double minX = 0, minY = 0, maxX = 0, maxY = 0;
    };

    int width = 0, height = 0;
    double left = 0, top = 0;    // survey coordinates of the top-left corner
    double cellX = 0, cellY = 0; // both positive
    int epsg = 0;                // 0 when the file names no EPSG code
    QByteArray wkt;              // the file's reference system, empty when it names none
    std::vector<float> heights;  // row-major from the top row

    // A read of more cells than this is refused (about 1 GB of floats with
    // what a computation keeps beside them): a site at 1 cm cells would need
    // a window.
    static constexpr qint64 maxCells = qint64(100) * 1000 * 1000;

    // The whole raster, or the cells that meet window (widened by margin
    // cells on every side and cut to the raster). False with a reason naming
    // the file, also for a window that misses the raster.
    static bool read(const QString& path, ElevationGrid& out, QString* error, const Window* window = nullptr,
                     int margin = 1);

    // A Float32 GeoTIFF (tiled, compressed, with overviews), NaN written as
    // the no-data value -9999, with the metadata items given. Written under a
    // temporary name and renamed when whole: a failure leaves no file.
    bool writeGeoTiff(const QString& path, const QMap<QByteArray, QByteArray>& metadata,
                      QString* error) const;

    bool isEmpty() const { return width < 1 || height < 1; }
    float at(int column, int row) const { return heights[size_t(row) * size_t(width) + size_t(column)]; }
    // Survey coordinates of the centre of cell (column, row).
    double x(double column) const { return left + (column + 0.5) * cellX; }
    double y(double row) const { return top - (row + 0.5) * cellY; }
    double right() const { return left + width * cellX; }
    double bottom() const { return top - height * cellY; }
    double cellArea() const { return cellX * cellY; }
    // The height at a survey position, bilinear between the four nearest
    // cell centres; NaN outside the grid or next to a cell without height.
    double heightAt(double x, double y) const;
    // Lowest and highest height; false when no cell has one.
    bool range(double& low, double& high) const;

    // Whether two grids name the same reference system (both none counts).
    static bool sameSystem(const ElevationGrid& a, const ElevationGrid& b);
    // "EPSG:32633", or the system's name, or "no reference system".
    QString systemName() const;

    static constexpr float noDataValue = -9999.0f;
};
