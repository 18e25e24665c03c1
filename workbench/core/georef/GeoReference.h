#pragma once

#include <osg/Matrixd>
#include <osg/Vec3d>

#include <QByteArray>
#include <QString>

// The georeference companion file beside an NVM or PTS file: rotation rows,
// translation and per-axis scale. A sixth line "EPSG:<code>" may follow and
// names the reference system of the survey coordinates; readers that take
// only the five rows pass over it, and files without it read with epsg 0.
// Every number is written as its shortest round-trip text and read exactly,
// so a file saved and loaded any number of times keeps its doubles bit for
// bit and its text unchanged.
class GeoReference
{
public:
    osg::Matrixd rotation;     // rows 1-3 of the file as the matrix's first three rows
    osg::Vec3d translation;    // row 4
    osg::Vec3d scale{1, 1, 1}; // row 5
    int epsg = 0;              // line 6 "EPSG:32633" (any case); 0 when the file names none

    // The bundle's name with its last three characters replaced by "txt".
    static QString companionFileName(const QString& fileName);

    // True when the file exists and holds five rows of exactly three numbers
    // that place points: a rotation with a finite inverse and a scale with
    // no zero. Otherwise false, out untouched, and error (and standard
    // output) names the file and the line that is wrong.
    static bool read(const QString& companionFile, GeoReference& out, QString* error = nullptr);
    // The same on the file's text; error names the line.
    static bool parse(const QByteArray& text, GeoReference& out, QString* error = nullptr);

    // The file's text, empty (with error) when read would refuse it: a value
    // that is not finite, a singular rotation, a zero scale.
    QByteArray text(QString* error = nullptr) const;
    // Writes text() through an atomic save: a failed write leaves the old
    // file whole, and nothing is written that could not be read back.
    bool write(const QString& companionFile, QString* error) const;

    // Where a model point lands: t + s ⊙ (R·p).
    osg::Vec3d apply(const osg::Vec3d& p) const;
    // And back: the model point a survey point comes from (apply's inverse).
    osg::Vec3d modelPoint(const osg::Vec3d& survey) const;
};
