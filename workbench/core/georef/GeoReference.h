#pragma once

#include <osg/Matrixd>
#include <osg/Vec3d>

#include <QString>

// The georeference companion file beside an NVM or PTS file: rotation rows,
// translation and per-axis scale. A sixth line "EPSG:<code>" may follow and
// names the reference system of the survey coordinates; readers that take
// only the five rows pass over it, and files without it read with epsg 0.
class GeoReference
{
public:
    osg::Matrixd rotation;  // rows 1-3 of the file as the matrix's first three rows
    osg::Vec3d translation; // row 4
    osg::Vec3d scale{1, 1, 1}; // row 5
    int epsg = 0;              // line 6 "EPSG:32633"; 0 when the file names none

    // The bundle's name with its last three characters replaced by "txt".
    static QString companionFileName(const QString& fileName);

    // True when the file exists and holds at least five rows of three numbers.
    static bool read(const QString& companionFile, GeoReference& out);

    // Writes the five rows with every digit a double holds, through an atomic
    // save: a failed write leaves the old file whole.
    bool write(const QString& companionFile, QString* error) const;

    // Where a model point lands: t + s ⊙ (R·p).
    osg::Vec3d apply(const osg::Vec3d& p) const;
};
