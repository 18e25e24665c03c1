#pragma once

#include <QString>
#include <QVector>

#include "core/georef/ControlPoint.h"

class GcpFile;
class SparseBundle;

// Turns a ground control file into control points of a loaded
// reconstruction: the observations of one name become one point, each photo
// named must be a camera of the reconstruction.
class GcpImport
{
public:
    // False with "<file> line N: …" for a photo the reconstruction does not
    // hold, or a name given two different positions; points is untouched then.
    // Every point comes in as used (not a check point).
    static bool toControlPoints(const GcpFile& gcp, const QString& fileName, const SparseBundle& bundle,
                                QVector<ControlPoint>* points, QString* error);
    // Reads the file and converts it.
    static bool importFile(const QString& path, const SparseBundle& bundle, QVector<ControlPoint>* points,
                           QString* system, QString* error);
    // The same onto the reconstruction of an NVM file (read for its photos).
    static bool importFile(const QString& path, const QString& nvmFile, QVector<ControlPoint>* points,
                           QString* system, QString* error);
};
