#include "core/formats/PlyHeader.h"

#include "common/text/TextTokens.h"
#include "core/io/TextLineReader.h"

#include <QByteArray>
#include <QList>

#include <limits>

namespace
{

QList<QByteArray> wordsOf(const char* begin, const char* end)
{
    // simplified() on a temporary works in place, and a raw-data array counts
    // as unshared: it would rewrite the caller's text. A const one is copied.
    const QByteArray line =
        QByteArray::fromRawData(begin, static_cast<int>(qMin<qint64>(end - begin, 1 << 20)));
    return line.simplified().split(' ');
}

struct TypeName {
    const char* name;
    PlyHeader::Type type;
};

const TypeName typeNames[] = {
    {"char", PlyHeader::Type::Int8},       {"uchar", PlyHeader::Type::UInt8},
    {"short", PlyHeader::Type::Int16},     {"ushort", PlyHeader::Type::UInt16},
    {"int", PlyHeader::Type::Int32},       {"uint", PlyHeader::Type::UInt32},
    {"float", PlyHeader::Type::Float32},   {"double", PlyHeader::Type::Float64},
    {"int8", PlyHeader::Type::Int8},       {"uint8", PlyHeader::Type::UInt8},
    {"int16", PlyHeader::Type::Int16},     {"uint16", PlyHeader::Type::UInt16},
    {"int32", PlyHeader::Type::Int32},     {"uint32", PlyHeader::Type::UInt32},
    {"float32", PlyHeader::Type::Float32}, {"float64", PlyHeader::Type::Float64},
};

bool scalarType(const QByteArray& name, PlyHeader::Type* type = nullptr)
{
    for (const TypeName& t : typeNames)
        if (name == t.name) {
            if (type)
                *type = t.type;
            return true;
        }
    return false;
}

bool isScalarType(const QByteArray& type)
{
    return scalarType(type);
}

bool isFloatType(const QByteArray& type)
{
    return type == "float" || type == "double" || type == "float32" || type == "float64";
}

// Counts are plain non-negative integers; anything else means the header is
// not one we understand.
bool readCount(const QByteArray& word, qint64& count)
{
    if (word.isEmpty() || word.size() > 18)
        return false;
    qint64 value = 0;
    for (char c : word) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    count = value;
    return true;
}

// Adds the lines of an element before the vertices; each count may be up to
// 18 digits, so a few of them together could overflow.
bool addLines(qint64& total, qint64 count)
{
    if (count > std::numeric_limits<qint64>::max() - total)
        return false;
    total += count;
    return true;
}

} // namespace

int PlyHeader::byteSize(Type type)
{
    switch (type) {
    case Type::Int8:
    case Type::UInt8:
        return 1;
    case Type::Int16:
    case Type::UInt16:
        return 2;
    case Type::Int32:
    case Type::UInt32:
    case Type::Float32:
        return 4;
    case Type::Float64:
        return 8;
    }
    return 1;
}

bool PlyHeader::read(TextLineReader& lines, PlyHeader& out, QString& error)
{
    out = PlyHeader();
    const char* begin = nullptr;
    const char* end = nullptr;

    if (!lines.next(begin, end) || wordsOf(begin, end) != QList<QByteArray>{"ply"}) {
        error = QStringLiteral("not a PLY file");
        return false;
    }

    enum class Section { None, BeforeVertex, Vertex, AfterVertex } section = Section::None;
    bool formatSeen = false;
    bool vertexSeen = false;
    qint64 pendingCount = 0; // count of the element whose properties follow
    bool roleSeen[RoleCount] = {};

    for (;;) {
        if (!lines.next(begin, end)) {
            error = QStringLiteral("header has no end_header line");
            return false;
        }
        const QList<QByteArray> words = wordsOf(begin, end);
        const QByteArray& keyword = words.first();
        const QString where = QStringLiteral("header line %1: ").arg(lines.lineNumber());

        if (keyword.isEmpty() || keyword == "comment" || keyword == "obj_info")
            continue;

        if (keyword == "end_header") {
            if (section == Section::BeforeVertex && !addLines(out.linesBeforeVertices, pendingCount)) {
                error = where + QStringLiteral("element counts too large");
                return false;
            }
            break;
        }

        if (keyword == "format") {
            if (words.size() != 3 || formatSeen) {
                error = where + QStringLiteral("bad format line");
                return false;
            }
            formatSeen = true;
            if (words[1] == "ascii")
                out.format = Format::Ascii;
            else if (words[1] == "binary_little_endian")
                out.format = Format::BinaryLittleEndian;
            else if (words[1] == "binary_big_endian")
                out.format = Format::BinaryBigEndian;
            else {
                error = where + QStringLiteral("unknown format ") + QString::fromLatin1(words[1]);
                return false;
            }
            continue;
        }

        if (keyword == "element") {
            qint64 count = 0;
            if (words.size() != 3 || !readCount(words[2], count)) {
                error = where + QStringLiteral("bad element line");
                return false;
            }
            if (section == Section::BeforeVertex && !addLines(out.linesBeforeVertices, pendingCount)) {
                error = where + QStringLiteral("element counts too large");
                return false;
            }
            if (words[1] == "vertex") {
                if (vertexSeen) {
                    error = where + QStringLiteral("second vertex element");
                    return false;
                }
                vertexSeen = true;
                out.vertexCount = count;
                section = Section::Vertex;
            } else {
                section = vertexSeen ? Section::AfterVertex : Section::BeforeVertex;
                pendingCount = count;
            }
            continue;
        }

        if (keyword == "property") {
            if (section == Section::None) {
                error = where + QStringLiteral("property outside an element");
                return false;
            }
            const bool isList = words.size() >= 2 && words[1] == "list";
            const bool wellFormed =
                isList ? words.size() == 5 && isScalarType(words[2]) && isScalarType(words[3])
                       : words.size() == 3 && isScalarType(words[1]);
            if (!wellFormed) {
                error = where + QStringLiteral("bad property line");
                return false;
            }
            if (section != Section::Vertex)
                continue;
            // A list makes the number of values per vertex line vary; no
            // point cloud tool writes one on vertices.
            if (isList) {
                error = where + QStringLiteral("list property on vertices is not supported");
                return false;
            }
            if (out.propertyCount >= maxProperties) {
                error = where + QStringLiteral("too many vertex properties");
                return false;
            }
            const QByteArray& name = words[2];
            Role role = Skip;
            if (name == "x")
                role = X;
            else if (name == "y")
                role = Y;
            else if (name == "z")
                role = Z;
            else if (name == "red" || name == "diffuse_red")
                role = Red;
            else if (name == "green" || name == "diffuse_green")
                role = Green;
            else if (name == "blue" || name == "diffuse_blue")
                role = Blue;
            else if (name == "nx" || name == "ny" || name == "nz")
                out.hasNormals = true;
            if (role != Skip) {
                if (roleSeen[role]) {
                    error = where + QStringLiteral("property ") + QString::fromLatin1(name) +
                            QStringLiteral(" twice");
                    return false;
                }
                roleSeen[role] = true;
                out.lastUsedColumn = out.propertyCount;
                if (role == Red || role == Green || role == Blue)
                    out.colourIsFloat = isFloatType(words[1]);
            }
            scalarType(words[1], &out.types[out.propertyCount]);
            out.roles[out.propertyCount++] = role;
            continue;
        }

        error = where + QStringLiteral("unknown keyword ") + QString::fromLatin1(keyword.left(40));
        return false;
    }

    if (!formatSeen) {
        error = QStringLiteral("header has no format line");
        return false;
    }
    if (!vertexSeen) {
        error = QStringLiteral("header has no vertex element");
        return false;
    }
    if (!roleSeen[X] || !roleSeen[Y] || !roleSeen[Z]) {
        error = QStringLiteral("vertex element lacks x, y or z");
        return false;
    }
    out.hasColour = roleSeen[Red] && roleSeen[Green] && roleSeen[Blue];
    if (!out.hasColour) {
        // Half a colour is no colour: the points are drawn grey.
        for (int i = 0; i < out.propertyCount; ++i)
            if (out.roles[i] == Red || out.roles[i] == Green || out.roles[i] == Blue)
                out.roles[i] = Skip;
        out.lastUsedColumn = -1;
        for (int i = 0; i < out.propertyCount; ++i)
            if (out.roles[i] != Skip)
                out.lastUsedColumn = i;
    }
    return true;
}

void PlyHeader::skipToVertices(TextLineReader& lines) const
{
    const char* begin = nullptr;
    const char* end = nullptr;
    for (qint64 skipped = 0; skipped < linesBeforeVertices;) {
        if (!lines.next(begin, end))
            break;
        if (!TextTokens::isBlankLine(begin, end))
            ++skipped;
    }
}
