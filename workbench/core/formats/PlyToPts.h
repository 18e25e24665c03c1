#pragma once

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>

class QIODevice;

// Set from another thread to give up; progress gets the input bytes read.
struct PlyToPtsControl {
    const std::atomic<bool>* cancel = nullptr;
    std::function<void(qint64 done, qint64 total)> progress;
};

// Converts an ASCII PLY cloud to PTS beside it: a count line, then
// "x y z 0 r g b" per vertex, the coordinates copied as written in the PLY
// and the colours as 0..255 (float colours, 0..1, scaled). The points
// stream through: memory stays the same whatever the size of the cloud.
class PlyToPts
{
public:
    using Control = PlyToPtsControl;

    // The input with every "ply" of its file name (not of its folders)
    // replaced by "pts".
    static QString outputName(const QString& plyFileName);

    // Writes outputName(plyFileName), replacing it only when complete.
    // False, with a message, when the PLY cannot be read, its name has no
    // "ply" to replace (the output would overwrite the input), the output
    // cannot be written or the conversion was cancelled.
    static bool convert(const QString& plyFileName, QString* message = nullptr, const Control& control = {});

    // The conversion itself; out receives the whole PTS text (small clouds).
    static bool convert(QIODevice& ply, QByteArray& out, QString* message = nullptr);

    // The point lines alone, each but the first preceded by a newline,
    // written to out as they are made; written counts them (the count line
    // comes first in the file, so it is written last).
    static bool writePoints(QIODevice& ply, QIODevice& out, qint64& written, QString* message = nullptr,
                            const Control& control = {});
};
