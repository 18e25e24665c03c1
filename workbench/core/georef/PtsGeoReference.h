#pragma once

#include <osg/Array>

#include <QString>

class PointShift;

// Places a PTS cloud by its georeference companion (the cloud's name with
// "txt" for its last three characters) and keeps a registered copy beside it,
// "<name>_reg.ply", written once and never replaced.
class PtsGeoReference
{
public:
    enum class Outcome {
        NoCompanion,    // nothing done
        Unusable,       // a companion exists but is not a georeference; points unchanged
        Applied,        // points moved; the registered copy existed already
        AppliedAndSaved // points moved and the registered copy written
    };

    // The cloud's name with its last four characters replaced by "_reg.ply".
    static QString registeredFileName(const QString& ptsFileName);

    // Every vertex p becomes t + s·(R·p) with s the first scale component
    // (PTS clouds are scaled uniformly), computed in double. With a shift the
    // vertices come relative to its offset and leave relative to the offset
    // their new place decides (a local scan moved to survey coordinates gets
    // the scene origin); the registered copy is written in world coordinates.
    static Outcome apply(const QString& ptsFileName, osg::Vec3Array& vertices, const osg::Vec4Array& colours,
                         PointShift* shift = nullptr);
};
