#include "core/formats/PtsReader.h"

#include "core/formats/PointColour.h"
#include "core/formats/PointShift.h"
#include "common/text/TextTokens.h"
#include "core/io/TextLineReader.h"
#include "core/log/LogLine.h"

#include <QFile>

#include <cmath>

namespace
{

bool fail(QString* message, const QString& label, const QString& text)
{
    const QString line = label + QStringLiteral(": ") + text;
    LogLine() << line.toStdString() << "\n";
    if (message)
        *message = line;
    return false;
}

// Leica scanners' text files carry intensity as the fourth column;
// the first seven columns are all that is read.
constexpr int maxColumns = 7;

} // namespace

bool PtsReader::readPts(const QString& fileName, osg::Vec3Array& vertices, osg::Vec4Array& colours,
                        QString* message, PointShift* shift)
{
    LogLine() << "Reading PTS\n";
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return fail(message, fileName, QStringLiteral("cannot open: ") + file.errorString());
    return read(file, fileName, vertices, colours, message, shift);
}

bool PtsReader::readPts(QIODevice& device, osg::Vec3Array& vertices, osg::Vec4Array& colours,
                        QString* message, PointShift* shift)
{
    LogLine() << "Reading PTS\n";
    return read(device, QStringLiteral("PTS"), vertices, colours, message, shift);
}

bool PtsReader::read(QIODevice& device, const QString& label, osg::Vec3Array& vertices,
                     osg::Vec4Array& colours, QString* message, PointShift* shift)
{
    // A binary file has no short first line; looking at a bounded start keeps
    // the line reader from buffering a whole garbage file in search of one.
    const QByteArray start = device.peek(64);
    if (!start.contains('\n') && device.bytesAvailable() > start.size())
        return fail(message, label, QStringLiteral("first line is not a point count"));

    TextLineReader lines(&device);
    const char* begin = nullptr;
    const char* end = nullptr;
    qint64 count = 0;
    bool haveCount = false;
    while (lines.next(begin, end)) {
        if (TextTokens::isBlankLine(begin, end))
            continue;
        haveCount = TextTokens::readCountLine(begin, end, count);
        break;
    }
    if (!haveCount)
        return fail(message, label, QStringLiteral("first line is not a point count"));
    LogLine() << "Points:" << count << "\n";

    // The shortest point line is "0 0 0\n".
    qint64 room = count;
    const qint64 left = lines.bytesLeft();
    room = left >= 0 ? qMin(room, left / 6 + 1) : qMin<qint64>(room, 1 << 16);
    vertices.reserve(vertices.size() + static_cast<size_t>(room));
    colours.reserve(colours.size() + static_cast<size_t>(room));

    const size_t before = vertices.size();
    qint64 remaining = count; // points still due in the current scan
    qint64 badLines = 0;
    qint64 firstBadLine = 0;
    qint64 extraLines = 0;
    double values[maxColumns] = {}; // a short line must not leave its vertex unset

    while (lines.next(begin, end)) {
        const char* p = begin;
        if (!TextTokens::toToken(p, end))
            continue;
        if (remaining == 0) {
            // Files with several scans start each one with its own count;
            // anything else past the declared count is not read.
            qint64 next = 0;
            if (TextTokens::readCountLine(begin, end, next))
                remaining = next;
            else
                ++extraLines;
            continue;
        }
        --remaining;

        int n = 0;
        bool good = true;
        while (n < maxColumns && TextTokens::toToken(p, end)) {
            if (!TextTokens::readNumber(p, end, values[n])) {
                good = false;
                break;
            }
            ++n;
        }
        const osg::Vec3 vertex = shift && good && n >= 3
                                     ? shift->toLocal(values[0], values[1], values[2])
                                     : osg::Vec3(static_cast<float>(values[0]), static_cast<float>(values[1]),
                                                 static_cast<float>(values[2]));
        if (!good || n < 3 || !std::isfinite(vertex.x()) || !std::isfinite(vertex.y()) ||
            !std::isfinite(vertex.z())) {
            if (badLines++ == 0)
                firstBadLine = lines.lineNumber();
            continue;
        }
        vertices.push_back(vertex);
        colours.push_back(n == maxColumns ? PointColour::fromBytes(values[4], values[5], values[6])
                                          : PointColour::grey());
    }

    const size_t read = vertices.size() - before;
    LogLine(LogLevel::Info) << "Total Points Read = " << read << "\n";

    QStringList notes;
    if (badLines > 0)
        notes << QStringLiteral("%1 lines are not points (first: line %2)").arg(badLines).arg(firstBadLine);
    if (remaining > 0)
        notes << QStringLiteral("file ends %1 points short of its count").arg(remaining);
    if (extraLines > 0)
        notes << QStringLiteral("%1 lines beyond the declared count not read").arg(extraLines);
    // A refusal always says why, also for a file that keeps its promise of no points.
    if (read == 0 && notes.isEmpty())
        notes << QStringLiteral("file holds no points");
    if (!notes.isEmpty()) {
        const QString note = label + QStringLiteral(": ") + notes.join(QStringLiteral("; "));
        LogLine() << note.toStdString() << "\n";
        if (message)
            *message = note;
    }
    return read > 0;
}
