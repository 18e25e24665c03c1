#pragma once

#include <QString>

// Whether a reference system can hold survey coordinates: a projected system
// in metres whose metres are ground metres where the points lie. The kind and
// unit come from GDAL (OGRSpatialReference), the grid scale from PROJ.
class SurveySystem
{
public:
    // A grid metre may differ from a ground metre by this much: a UTM zone
    // stays within 0.1 % inside the zone and 0.8 % a zone's width beyond it,
    // where Web Mercator is off by 25 % at 37 degrees latitude.
    static constexpr double maxScaleError = 0.01;

    // False with the reason for a code PROJ does not know, a geographic
    // (degrees), geocentric or height-only system, or a projected one in other
    // units than metres. Answers are kept: the same code costs nothing twice.
    static bool check(int epsg, QString* reason);
    // False with the reason when a grid metre at easting, northing is not a
    // ground metre (within maxScaleError), or when the point lies outside
    // what the system can carry back to latitude and longitude.
    static bool checkScaleAt(int epsg, double easting, double northing, QString* reason);
};
