#pragma once

#include <QString>

#include <array>
#include <vector>

class ElevationGrid;

// Contour lines of an elevation model with GDAL's contour generator, for a
// plan that reads cleanly: the surface is first smoothed by a stated amount
// (a Gaussian of smoothing metres, cells without height left out of it), and
// lines smaller than a few cells (closed micro-rings round the surface's fine
// noise) are left out, and so are small rings round ground that hardly leaves
// their level (a floor lying on a contour level). Written as
// a GeoPackage (layer "contours", field "elev") in the model's reference
// system and as a DXF drawing of 3D polylines.
class ContourMaker
{
public:
    struct Settings {
        double interval = 0.5; // metres
        double base = 0;       // a level lies at base + k interval
        double smoothing = 0;  // metres, the Gaussian's standard deviation; 0: none
        double minCells = 5;   // closed rings narrower, and open lines shorter, than this many cells go
        // Small closed rings (up to ringCells across) round ground that
        // rises or sinks less than this from their level go too: the noise
        // of a floor lying on a contour level.
        double minRelief = 0.02;
        double ringCells = 60;
    };
    struct Result {
        int lines = 0;   // written
        int dropped = 0; // left out as too small
        int levels = 0;  // distinct heights among the written lines
        double low = 0, high = 0;
    };
    using Line = std::vector<std::array<double, 3>>;

    // Either output path may be empty (not written). False with a message
    // and nothing written for an interval of zero or larger than the relief.
    static bool make(const ElevationGrid& grid, const Settings& settings, const QString& gpkgPath,
                     const QString& dxfPath, Result& result, QString* error);
    // The lines before writing, for tests and the benchmark.
    static bool lines(const ElevationGrid& grid, const Settings& settings, std::vector<Line>& out,
                      Result& result, QString* error);
    // The surface smoothed as contouring uses it.
    static std::vector<float> smoothed(const ElevationGrid& grid, double smoothing);

    // The lines of a contour GeoPackage (any line layer of a GeoPackage) with
    // their heights, and its EPSG code (0 when it names none).
    static bool readLines(const QString& gpkgPath, std::vector<Line>& out, int& epsg, QString* error);
    // The text the GeoPackage's layer carries and the log shows: how the
    // lines were made.
    static QString describe(const Settings& settings, double cell);
};
