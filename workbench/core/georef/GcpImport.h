#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include "core/georef/ControlPoint.h"

class GcpFile;
class SparseBundle;

// Turns a ground control file into control points of a loaded
// reconstruction (the observations of one name become one point), and merges
// an imported file into the points already in the table.
class GcpImport
{
public:
    // False with "<file> line N: …" for a name given two different positions,
    // or when no photo of the file is in the reconstruction; points is
    // untouched then. An observation in a photo the reconstruction does not
    // hold is left out with a line in warnings saying so, as is a point left
    // with fewer photos than the fit needs. Every point comes in as used (not
    // a check point).
    static bool toControlPoints(const GcpFile& gcp, const QString& fileName, const SparseBundle& bundle,
                                QVector<ControlPoint>* points, QString* error,
                                QStringList* warnings = nullptr);
    // Reads the file and converts it.
    static bool importFile(const QString& path, const SparseBundle& bundle, QVector<ControlPoint>* points,
                           QString* system, QString* error, QStringList* warnings = nullptr);
    // The same onto the reconstruction of an NVM file (read for its photos).
    static bool importFile(const QString& path, const QString& nvmFile, QVector<ControlPoint>* points,
                           QString* system, QString* error, QStringList* warnings = nullptr);

    struct MergeReport {
        QStringList updated; // in the table and the file: the file's coordinates
        QStringList added;   // new from the file
        QStringList kept;    // in the table only
        int observationsAdded = 0;
    };
    // The table's points merged with a file's, by name: a point of both takes
    // the file's coordinates and keeps its check flag and observations, the
    // file's observations joining for photos it has none in; new names follow
    // the table's in the file's order; points the file does not name stay as
    // they are. A point whose coordinates or photos changed loses its fit figures.
    static QVector<ControlPoint> merge(const QVector<ControlPoint>& table, const QVector<ControlPoint>& file,
                                       MergeReport* report);
};
