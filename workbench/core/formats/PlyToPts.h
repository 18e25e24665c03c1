#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

// Converts an ASCII PLY cloud to PTS beside it: a count line, then
// "x y z 0 r g b" per vertex, the numbers copied as written in the PLY.
class PlyToPts
{
public:
    // The input with every "ply" of its file name (not of its folders)
    // replaced by "pts".
    static QString outputName(const QString& plyFileName);

    // Writes outputName(plyFileName). False, with a message, when the PLY
    // cannot be read or its name has no "ply" to replace (the output would
    // overwrite the input).
    static bool convert(const QString& plyFileName, QString* message = nullptr);

    // The conversion itself; out receives the whole PTS text.
    static bool convert(QIODevice& ply, QByteArray& out, QString* message = nullptr);
};
