#pragma once

#include <QPointF>
#include <QString>
#include <QVector>

#include "core/annotation/RecordVolume.h"

class ElevationGrid;

// Cut, fill and net volume within a polygon between a surface and what it is
// measured against: an earlier survey, a horizontal plane, or the plane that
// fits the surface along the polygon's rim (the stockpile convention). Every
// cell counts with the part of it the polygon covers. The uncertainty takes
// the surfaces' vertical accuracy as an error shared by the whole area (a
// survey's height is off as a whole far more than cell by cell), so it is
// the area times the combined accuracy.
class VolumeCalculator
{
public:
    enum class Method { TwoSurveys, Plane, RimBase };

    struct Input {
        Method method = Method::TwoSurveys;
        QVector<QPointF> polygon;               // survey coordinates, not closed
        const ElevationGrid* surface = nullptr; // the later survey, or the one survey
        const ElevationGrid* earlier = nullptr; // TwoSurveys only
        double level = 0;                       // Plane only: metres, in the surveys' heights
        double surfaceAccuracy = 0;             // vertical, one standard deviation, metres
        double earlierAccuracy = 0;
        QString surfaceName, earlierName; // for the method's text: the surveys' dates
    };

    struct Result {
        RecordVolume volume;
        long long cells = 0; // cells the polygon meets
        double rimRms = 0;   // RimBase: how far the rim lies from its plane
        int rimSamples = 0;
        double baseA = 0, baseB = 0,
               baseC = 0; // RimBase: z = a (x - x0) + b (y - y0) + c about the first vertex
    };

    // False with a message for the user when the polygon is degenerate, lies
    // partly or wholly outside a surface, or covers cells without height.
    static bool compute(const Input& input, Result& out, QString* error);

    static QString methodName(Method method);
};
