#include "core/formats/PtsReader.h"

#include "common/text/TextTokens.h"
#include "core/formats/FormatFailure.h"
#include "core/formats/PointColour.h"
#include "core/formats/PointShift.h"
#include "core/formats/PtsScans.h"
#include "core/io/TextLineReader.h"
#include "core/log/LogLine.h"

#include <QFile>

#include <cmath>

namespace
{

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
        return FormatFailure::report(message, fileName, QStringLiteral("cannot open: ") + file.errorString());
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
        return FormatFailure::report(message, label, QStringLiteral("first line is not a point count"));

    TextLineReader lines(&device);
    PtsScans scans;
    if (!scans.readFirstCount(lines))
        return FormatFailure::report(message, label, QStringLiteral("first line is not a point count"));
    const qint64 count = scans.declared();
    LogLine() << "Points:" << count << "\n";

    // The shortest point line is "0 0 0\n".
    qint64 room = count;
    const qint64 left = lines.bytesLeft();
    room = left >= 0 ? qMin(room, left / 6 + 1) : qMin<qint64>(room, 1 << 16);
    vertices.reserve(vertices.size() + static_cast<size_t>(room));
    colours.reserve(colours.size() + static_cast<size_t>(room));

    const size_t before = vertices.size();
    qint64 badLines = 0;
    qint64 firstBadLine = 0;
    double values[maxColumns] = {}; // a short line must not leave its vertex unset

    const char* p = nullptr;
    const char* end = nullptr;
    while (scans.nextPoint(lines, p, end)) {
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
    if (scans.remaining() > 0)
        notes << QStringLiteral("file ends %1 points short of its count").arg(scans.remaining());
    if (scans.extraLines() > 0)
        notes << QStringLiteral("%1 lines beyond the declared count not read").arg(scans.extraLines());
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
