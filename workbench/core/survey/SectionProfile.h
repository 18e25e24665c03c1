#pragma once

#include <QPointF>
#include <QString>
#include <QVector>

#include <cmath>
#include <limits>

class ElevationGrid;

// A section through the site along a line between two picks: the heights of
// each survey's elevation model along it, and the dense cloud's points within
// a corridor either side of it, each at its distance from the line's start.
class SectionProfile
{
public:
    struct Sample {
        double distance = 0;                                 // metres along the line from its start
        double x = 0, y = 0;                                 // survey coordinates
        double z = std::numeric_limits<double>::quiet_NaN(); // NaN where the model has no height
    };
    struct CloudPoint {
        double distance = 0, offset = 0; // offset: signed, left of the line positive
        double x = 0, y = 0, z = 0;
    };
    // One survey's line, or the cloud's points.
    struct Line {
        QString name; // the survey's date
        QVector<Sample> samples;
    };

    QPointF start, end;
    double width = 0; // of the corridor, metres
    QVector<Line> lines;
    QVector<CloudPoint> cloud;

    // Lines shorter than this are no section (a double pick).
    static constexpr double minLength = 0.01;

    // False with a message for a line of no length or an unusable width.
    static bool checkLine(const QPointF& start, const QPointF& end, double width, QString* error);
    // The samples along the line, every step metres (the grid's cell when 0).
    static Line sample(const ElevationGrid& grid, const QPointF& start, const QPointF& end,
                       const QString& name, double step = 0);
    // The points of xyz (survey coordinates, three doubles a point, relative
    // to origin) within width / 2 of the line and between its ends.
    static QVector<CloudPoint> corridor(const double* xyz, size_t points, const double origin[3],
                                        const QPointF& start, const QPointF& end, double width);
    double length() const { return std::hypot(end.x() - start.x(), end.y() - start.y()); }

    // "line,distance,x,y,z" and "cloud,distance,offset,x,y,z" rows with a
    // header, C locale, every digit kept; written whole or not at all.
    bool writeCsv(const QString& path, QString* error) const;
    // A DXF drawing: each survey's line and the cloud's points at survey
    // coordinates (3D polylines and points, on one layer a survey named after
    // its date, "CLOUD" for the points), and beside them the section as drawn
    // on paper, distance across and height up, on "ELEVATION_" layers.
    bool writeDxf(const QString& path, QString* error) const;
};
