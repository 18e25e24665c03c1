#include "core/formats/PlyToPts.h"

#include "core/io/NumberTokens.h"
#include "core/formats/PlyHeader.h"
#include "core/io/SaveFileCommit.h"
#include "core/io/TextLineReader.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <iostream>

namespace
{

bool fail(QString* message, const QString& text)
{
    std::cout << text.toStdString() << "\n";
    if (message)
        *message = text;
    return false;
}

} // namespace

QString PlyToPts::outputName(const QString& plyFileName)
{
    // Only the file's own name: a "ply" in a folder name would send the
    // output to another, usually missing, folder.
    const int slash = plyFileName.lastIndexOf(QLatin1Char('/')) + 1;
    QString name = plyFileName.mid(slash);
    return plyFileName.left(slash) + name.replace(QStringLiteral("ply"), QStringLiteral("pts"));
}

bool PlyToPts::convert(const QString& plyFileName, QString* message)
{
    const QString output = outputName(plyFileName);
    if (output == plyFileName)
        return fail(message, plyFileName + QStringLiteral(": name has no \"ply\" to replace; not converted"));
    QFile in(plyFileName);
    if (!in.open(QIODevice::ReadOnly))
        return fail(message, plyFileName + QStringLiteral(": cannot open: ") + in.errorString());
    QByteArray text;
    QString why;
    if (!convert(in, text, &why))
        return fail(message, plyFileName + QStringLiteral(": ") + why);

    QSaveFile out(output);
    QString error;
    if (!out.open(QIODevice::WriteOnly) || out.write(text) != text.size())
        error = out.errorString();
    if (!error.isEmpty())
        out.cancelWriting();
    if (!error.isEmpty() || !SaveFileCommit::commit(out, &error))
        return fail(message, output + QStringLiteral(": cannot write: ") + error);
    std::cout << "Finished Writing\n";
    if (message)
        *message = why;
    return true;
}

bool PlyToPts::convert(QIODevice& ply, QByteArray& out, QString* message)
{
    const QByteArray start = ply.peek(4);
    if (start != "ply\n" && start != "ply\r")
        return fail(message, QStringLiteral("not a PLY file"));
    TextLineReader lines(&ply);
    PlyHeader header;
    QString error;
    if (!PlyHeader::read(lines, header, error))
        return fail(message, error);
    if (header.format != PlyHeader::Format::Ascii)
        return fail(message, QStringLiteral("binary PLY cannot be converted"));
    std::cout << "Finished Reading\n";

    const char* begin = nullptr;
    const char* end = nullptr;
    for (qint64 skipped = 0; skipped < header.linesBeforeVertices;) {
        if (!lines.next(begin, end))
            break;
        if (!NumberTokens::isBlankLine(begin, end))
            ++skipped;
    }

    // Tokens are copied as text in the order x y z, then "0" for the
    // intensity, then red green blue; a file without colour gives x y z 0.
    int columnOf[PlyHeader::RoleCount];
    std::fill(std::begin(columnOf), std::end(columnOf), -1);
    for (int i = 0; i < header.propertyCount; ++i)
        if (header.roles[i] != PlyHeader::Skip)
            columnOf[header.roles[i]] = i;
    const PlyHeader::Role order[] = {PlyHeader::X,   PlyHeader::Y,     PlyHeader::Z,
                                     PlyHeader::Red, PlyHeader::Green, PlyHeader::Blue};
    const int used = header.hasColour ? 6 : 3;

    QByteArray body;
    qint64 written = 0;
    qint64 linesRead = 0;
    qint64 badLines = 0;
    const char* tokenBegin[PlyHeader::maxProperties];
    const char* tokenEnd[PlyHeader::maxProperties];
    while (linesRead < header.vertexCount && lines.next(begin, end)) {
        const char* p = begin;
        if (NumberTokens::isBlankLine(p, end))
            continue;
        ++linesRead;
        int found = 0;
        bool good = true;
        for (; found <= header.lastUsedColumn && NumberTokens::toToken(p, end); ++found) {
            tokenBegin[found] = p;
            if (header.roles[found] != PlyHeader::Skip) {
                double value;
                good = good && NumberTokens::readNumber(p, end, value);
            } else {
                NumberTokens::skipToken(p, end);
            }
            tokenEnd[found] = p;
        }
        if (!good || found <= header.lastUsedColumn) {
            ++badLines;
            continue;
        }
        if (written > 0)
            body += '\n';
        for (int k = 0; k < used; ++k) {
            if (k == 3)
                body += " 0";
            if (k > 0)
                body += ' ';
            const int c = columnOf[order[k]];
            body.append(tokenBegin[c], static_cast<int>(tokenEnd[c] - tokenBegin[c]));
        }
        if (!header.hasColour)
            body += " 0";
        ++written;
    }
    std::cout << "Finished Parsing\n";

    out = QByteArray::number(written);
    if (written > 0)
        out += '\n' + body;
    QStringList notes;
    if (badLines > 0)
        notes << QStringLiteral("%1 vertex lines are not numbers as the header describes").arg(badLines);
    if (linesRead < header.vertexCount)
        notes << QStringLiteral("file ends after %1 of %2 vertices").arg(linesRead).arg(header.vertexCount);
    if (message)
        *message = notes.join(QStringLiteral("; "));
    return true;
}
