#pragma once

#include <QString>

class QIODevice;

// Converts a PTS scan to ASCII PLY beside it, streaming, so a scan of any
// size converts in bounded memory. Each point line becomes "x y z r g b 255":
// the coordinates copied as written, the colour as bytes (grey for lines
// without colour columns). Scans that follow one another, each after its own
// count line, all go into the one cloud.
class PtsToPly
{
public:
    // The input with its ".pts" extension (any case) replaced by ".ply";
    // folders keep their names, and a name without extension gets ".ply" added.
    static QString outputName(const QString& ptsFileName);

    // Writes outputName(ptsFileName) through QSaveFile: a failed conversion
    // leaves an older file of that name whole. message receives the reason
    // for a failure or a note about skipped lines.
    static bool convert(const QString& ptsFileName, QString* message = nullptr);

    // The conversion itself; the input must be seekable (it is read twice:
    // once to count the points for the header, once to write them).
    static bool convert(QIODevice& pts, QIODevice& ply, QString* message = nullptr);
};
