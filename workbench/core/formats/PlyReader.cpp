#include "core/formats/PlyReader.h"

#include "common/text/TextTokens.h"
#include "core/formats/FormatFailure.h"
#include "core/formats/PlyHeader.h"
#include "core/formats/PointColour.h"
#include "core/formats/PointShift.h"
#include "core/io/TextLineReader.h"
#include "core/log/LogLine.h"

#include <QFile>

#include <cmath>

namespace
{

// A coordinate token: a number reads exactly, straight to the float the
// vertex keeps, or with a shift to the double it is shifted from, so what
// PlyWriter wrote comes back bit for bit; other tokens as every column reads.
inline bool readCoordinate(const char*& p, const char* end, double& value, bool shifted)
{
    if (shifted) {
        if (TextTokens::readExact(p, end, value))
            return true;
    } else {
        float exact;
        if (TextTokens::readExact(p, end, exact)) {
            value = exact;
            return true;
        }
    }
    return TextTokens::readNumber(p, end, value);
}

bool startsLikePly(QIODevice& device)
{
    const QByteArray start = device.peek(4);
    return start == "ply\n" || start == "ply\r";
}

} // namespace

bool PlyReader::readPly(const QString& fileName, osg::Vec3Array& vertices, osg::Vec4Array& colours,
                        QString* message, PointShift* shift)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return FormatFailure::report(message, fileName, QStringLiteral("cannot open: ") + file.errorString());
    return read(file, fileName, vertices, colours, message, shift);
}

bool PlyReader::readPly(QIODevice& device, osg::Vec3Array& vertices, osg::Vec4Array& colours,
                        QString* message, PointShift* shift)
{
    return read(device, QStringLiteral("PLY"), vertices, colours, message, shift);
}

bool PlyReader::read(QIODevice& device, const QString& label, osg::Vec3Array& vertices,
                     osg::Vec4Array& colours, QString* message, PointShift* shift)
{
    // Checked before any line is taken, so a large file of binary garbage is
    // never scanned for its first newline.
    if (!startsLikePly(device))
        return FormatFailure::report(message, label, QStringLiteral("not a PLY file"));

    TextLineReader lines(&device);
    PlyHeader header;
    QString error;
    if (!PlyHeader::read(lines, header, error))
        return FormatFailure::report(message, label, error);
    if (header.format != PlyHeader::Format::Ascii)
        return FormatFailure::report(
            message, label, QStringLiteral("binary PLY is read by the scene-graph library, not here"));

    LogLine() << header.vertexCount << "\n";
    LogLine() << "Finished Reading\n";

    header.skipToVertices(lines);
    const char* begin = nullptr;
    const char* end = nullptr;

    // A declared count is only a promise: reserve no more than the rest of
    // the file can hold, at two bytes per value, and grow from there.
    qint64 room = header.vertexCount;
    const qint64 left = lines.bytesLeft();
    if (left >= 0)
        room = qMin(room, left / (qint64(2) * qMax(header.propertyCount, 1)) + 1);
    else
        room = qMin<qint64>(room, 1 << 16);
    vertices.reserve(vertices.size() + static_cast<size_t>(room));
    colours.reserve(colours.size() + static_cast<size_t>(room));

    const PlyHeader::Role* roles = header.roles;
    const int lastColumn = header.lastUsedColumn;
    const double colourScale = header.colourIsFloat ? 255.0 : 1.0;
    const size_t before = vertices.size();
    qint64 linesRead = 0;
    qint64 badLines = 0;
    qint64 firstBadLine = 0;
    double values[PlyHeader::RoleCount] = {};

    while (linesRead < header.vertexCount && lines.next(begin, end)) {
        const char* p = begin;
        if (!TextTokens::toToken(p, end))
            continue; // blank lines hold no vertex
        ++linesRead;
        bool good = true;
        for (int column = 0; column <= lastColumn; ++column) {
            if (!TextTokens::toToken(p, end)) {
                good = false;
                break;
            }
            const PlyHeader::Role role = roles[column];
            if (role == PlyHeader::Skip) {
                TextTokens::skipToken(p, end);
            } else if (role <= PlyHeader::Z ? !readCoordinate(p, end, values[role], shift != nullptr)
                                            : !TextTokens::readNumber(p, end, values[role])) {
                good = false;
                break;
            }
        }
        const osg::Vec3 vertex =
            shift && good ? shift->toLocal(values[PlyHeader::X], values[PlyHeader::Y], values[PlyHeader::Z])
                          : osg::Vec3(static_cast<float>(values[PlyHeader::X]),
                                      static_cast<float>(values[PlyHeader::Y]),
                                      static_cast<float>(values[PlyHeader::Z]));
        // A non-finite coordinate would poison every bounding sphere of the view.
        if (!good || !std::isfinite(vertex.x()) || !std::isfinite(vertex.y()) || !std::isfinite(vertex.z())) {
            if (badLines++ == 0)
                firstBadLine = lines.lineNumber();
            continue;
        }
        vertices.push_back(vertex);
        if (header.hasColour)
            colours.push_back(PointColour::fromBytes(values[PlyHeader::Red] * colourScale,
                                                     values[PlyHeader::Green] * colourScale,
                                                     values[PlyHeader::Blue] * colourScale));
        else
            colours.push_back(PointColour::grey());
    }

    const size_t read = vertices.size() - before;
    LogLine() << "Finished Parsing\n";
    LogLine(LogLevel::Info) << "Total Points Read = " << read << "\n";

    QString note;
    if (badLines > 0)
        note = QStringLiteral("%1 vertex lines are not numbers as the header describes (first: line %2)")
                   .arg(badLines)
                   .arg(firstBadLine);
    if (linesRead < header.vertexCount) {
        if (!note.isEmpty())
            note += QStringLiteral("; ");
        note += QStringLiteral("file ends after %1 of %2 vertices").arg(linesRead).arg(header.vertexCount);
    }
    // A refusal always says why, also for a header that declares no vertices.
    if (read == 0 && note.isEmpty())
        note = QStringLiteral("file holds no vertices");
    if (!note.isEmpty()) {
        note = label + QStringLiteral(": ") + note;
        LogLine() << note.toStdString() << "\n";
        if (message)
            *message = note;
    }
    return read > 0;
}

bool PlyReader::isAsciiPly(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    file.readLine(256);
    // Windows line ends are the same file.
    return file.readLine(256).trimmed() == "format ascii 1.0";
}
