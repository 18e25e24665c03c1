#pragma once

#include <QString>

#include "core/survey/ElevationGrid.h"

// The change of the ground between two surveys: the later elevation model
// minus the earlier one, on the later one's cells where both have a height
// (the earlier one read between its cell centres), and the GeoTIFF it is
// kept in. The file names the surface it is draped on and its range, so the
// scene can show it over the later survey in a diverging ramp.
class DsmDifference
{
public:
    struct Summary {
        long long cells = 0;      // cells with a difference
        double low = 0, high = 0; // metres
        double rampLimit = 0;     // the ramp's ends are -rampLimit and +rampLimit
    };

    // False with a message for the user when the grids are in different
    // reference systems or do not overlap.
    static bool compute(const ElevationGrid& earlier, const ElevationGrid& later, ElevationGrid& out,
                        Summary& summary, QString* error);

    // Writes the difference; surface is the later elevation model it is
    // draped on (kept relative to the file's folder), the dates name both
    // surveys. Nothing is left behind on failure.
    static bool write(const QString& path, const ElevationGrid& difference, const Summary& summary,
                      const QString& surface, const QString& earlierDate, const QString& laterDate,
                      QString* error);

    // Where Compare Surveys puts the difference: in the later survey's
    // pipeline folder, named after both dates.
    static QString fileFor(const QString& laterFolder, const QString& earlierDate, const QString& laterDate);
};
