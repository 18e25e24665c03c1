#include "core/formats/PlyToPts.h"

#include "common/text/TextTokens.h"
#include "core/formats/FormatFailure.h"
#include "core/formats/PlyHeader.h"
#include "core/io/SaveFileCommit.h"
#include "core/io/TextLineReader.h"
#include "core/log/LogLine.h"

#include <QBuffer>
#include <QFile>
#include <QSaveFile>
#include <QTemporaryFile>

#include <algorithm>

namespace
{

// Lines are written, and the cancel flag looked at, a megabyte at a time.
constexpr int chunkBytes = 1 << 20;

} // namespace

QString PlyToPts::outputName(const QString& plyFileName)
{
    // Only the file's own name: a "ply" in a folder name would send the
    // output to another, usually missing, folder.
    const int slash = plyFileName.lastIndexOf(QLatin1Char('/')) + 1;
    QString name = plyFileName.mid(slash);
    return plyFileName.left(slash) + name.replace(QStringLiteral("ply"), QStringLiteral("pts"));
}

bool PlyToPts::convert(const QString& plyFileName, QString* message, const Control& control)
{
    const QString output = outputName(plyFileName);
    if (output == plyFileName)
        return FormatFailure::report(
            message, plyFileName + QStringLiteral(": name has no \"ply\" to replace; not converted"));
    QFile in(plyFileName);
    if (!in.open(QIODevice::ReadOnly))
        return FormatFailure::report(message,
                                     plyFileName + QStringLiteral(": cannot open: ") + in.errorString());

    // The points go to a temporary file beside the output first: the count
    // they end with heads the output.
    QTemporaryFile body(output + QStringLiteral(".points-XXXXXX"));
    if (!body.open())
        return FormatFailure::report(message,
                                     output + QStringLiteral(": cannot write: ") + body.errorString());
    qint64 written = 0;
    QString why;
    if (!writePoints(in, body, written, &why, control))
        return FormatFailure::report(message, plyFileName + QStringLiteral(": ") + why);

    QSaveFile out(output);
    QString error;
    if (!out.open(QIODevice::WriteOnly) || !body.seek(0)) {
        error = out.errorString();
    } else {
        const QByteArray count = QByteArray::number(written) + (written > 0 ? "\n" : "");
        bool good = out.write(count) == count.size();
        QByteArray chunk;
        while (good && !body.atEnd()) {
            chunk = body.read(chunkBytes);
            good = !chunk.isEmpty() && out.write(chunk) == chunk.size();
        }
        if (!good)
            error = out.error() != QFileDevice::NoError ? out.errorString() : body.errorString();
    }
    if (!error.isEmpty())
        out.cancelWriting();
    if (!error.isEmpty() || !SaveFileCommit::commit(out, &error))
        return FormatFailure::report(message, output + QStringLiteral(": cannot write: ") + error);
    LogLine() << "Finished Writing\n";
    if (message)
        *message = why;
    return true;
}

bool PlyToPts::convert(QIODevice& ply, QByteArray& out, QString* message)
{
    QBuffer body;
    body.open(QIODevice::WriteOnly);
    qint64 written = 0;
    if (!writePoints(ply, body, written, message))
        return false;
    out = QByteArray::number(written);
    if (written > 0)
        out += '\n' + body.data();
    return true;
}

bool PlyToPts::writePoints(QIODevice& ply, QIODevice& out, qint64& written, QString* message,
                           const Control& control)
{
    written = 0;
    const QByteArray start = ply.peek(4);
    if (start != "ply\n" && start != "ply\r")
        return FormatFailure::report(message, QStringLiteral("not a PLY file"));
    TextLineReader lines(&ply);
    PlyHeader header;
    QString error;
    if (!PlyHeader::read(lines, header, error))
        return FormatFailure::report(message, error);
    if (header.format != PlyHeader::Format::Ascii)
        return FormatFailure::report(message, QStringLiteral("binary PLY cannot be converted"));
    LogLine() << "Finished Reading\n";

    header.skipToVertices(lines);
    const char* begin = nullptr;
    const char* end = nullptr;

    // Coordinates are copied as text in the order x y z, then "0" for the
    // intensity, then red green blue; a file without colour gives x y z 0.
    int columnOf[PlyHeader::RoleCount];
    std::fill(std::begin(columnOf), std::end(columnOf), -1);
    for (int i = 0; i < header.propertyCount; ++i)
        if (header.roles[i] != PlyHeader::Skip)
            columnOf[header.roles[i]] = i;
    const PlyHeader::Role order[] = {PlyHeader::X,   PlyHeader::Y,     PlyHeader::Z,
                                     PlyHeader::Red, PlyHeader::Green, PlyHeader::Blue};
    const int used = header.hasColour ? 6 : 3;

    QByteArray chunk;
    chunk.reserve(chunkBytes + 1024);
    const auto flush = [&out, &chunk] {
        const bool good = out.write(chunk) == chunk.size();
        chunk.clear();
        return good;
    };
    const qint64 total = ply.isSequential() ? 0 : ply.size();
    qint64 linesRead = 0;
    qint64 badLines = 0;
    const char* tokenBegin[PlyHeader::maxProperties];
    const char* tokenEnd[PlyHeader::maxProperties];
    double values[PlyHeader::maxProperties];
    while (linesRead < header.vertexCount && lines.next(begin, end)) {
        const char* p = begin;
        if (TextTokens::isBlankLine(p, end))
            continue;
        ++linesRead;
        int found = 0;
        bool good = true;
        for (; found <= header.lastUsedColumn && TextTokens::toToken(p, end); ++found) {
            tokenBegin[found] = p;
            if (header.roles[found] != PlyHeader::Skip)
                good = good && TextTokens::readNumber(p, end, values[found]);
            else
                TextTokens::skipToken(p, end);
            tokenEnd[found] = p;
        }
        if (!good || found <= header.lastUsedColumn) {
            ++badLines;
            continue;
        }
        if (written > 0)
            chunk += '\n';
        for (int k = 0; k < used; ++k) {
            if (k == 3)
                chunk += " 0";
            if (k > 0)
                chunk += ' ';
            const int c = columnOf[order[k]];
            if (k >= 3 && header.colourIsFloat)
                chunk += QByteArray::number(qBound(0, qRound(values[c] * 255.0), 255));
            else
                chunk.append(tokenBegin[c], static_cast<int>(tokenEnd[c] - tokenBegin[c]));
        }
        if (!header.hasColour)
            chunk += " 0";
        ++written;
        if (chunk.size() >= chunkBytes) {
            if (!flush())
                return FormatFailure::report(message, QStringLiteral("cannot write: ") + out.errorString());
            if (control.cancel && *control.cancel)
                return FormatFailure::report(message, QStringLiteral("cancelled"));
            if (control.progress)
                control.progress(ply.pos(), total);
        }
    }
    if (!flush())
        return FormatFailure::report(message, QStringLiteral("cannot write: ") + out.errorString());
    LogLine() << "Finished Parsing\n";

    QStringList notes;
    if (badLines > 0)
        notes << QStringLiteral("%1 vertex lines are not numbers as the header describes").arg(badLines);
    if (linesRead < header.vertexCount)
        notes << QStringLiteral("file ends after %1 of %2 vertices").arg(linesRead).arg(header.vertexCount);
    if (message)
        *message = notes.join(QStringLiteral("; "));
    return true;
}
