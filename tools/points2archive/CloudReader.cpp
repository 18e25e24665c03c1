#include "CloudReader.h"

#include "common/text/TextTokens.h"
#include "core/formats/PlyHeader.h"
#include "core/io/TextLineReader.h"

#include <QString>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstring>
#include <thread>

#include <sys/stat.h>

namespace
{

constexpr std::uint8_t greyByte = 128; // the grey of points whose file has no colour

std::uint8_t toByte(double value)
{
    if (!(value > 0))
        return 0;
    if (value >= 255)
        return 255;
    return static_cast<std::uint8_t>(std::lround(value));
}

bool isBlankText(const char* begin, const char* end)
{
    return TextTokens::isBlankLine(begin, end);
}

const char* lastNewline(const char* begin, const char* end)
{
    return static_cast<const char*>(memrchr(begin, '\n', size_t(end - begin)));
}

double decode(const char* p, PlyHeader::Type type, bool swap)
{
    char bytes[8];
    const int n = PlyHeader::byteSize(type);
    std::memcpy(bytes, p, size_t(n));
    if (swap)
        std::reverse(bytes, bytes + n);
    switch (type) {
    case PlyHeader::Type::Int8:
        return static_cast<std::int8_t>(bytes[0]);
    case PlyHeader::Type::UInt8:
        return static_cast<std::uint8_t>(bytes[0]);
    case PlyHeader::Type::Int16: {
        std::int16_t v;
        std::memcpy(&v, bytes, 2);
        return v;
    }
    case PlyHeader::Type::UInt16: {
        std::uint16_t v;
        std::memcpy(&v, bytes, 2);
        return v;
    }
    case PlyHeader::Type::Int32: {
        std::int32_t v;
        std::memcpy(&v, bytes, 4);
        return v;
    }
    case PlyHeader::Type::UInt32: {
        std::uint32_t v;
        std::memcpy(&v, bytes, 4);
        return v;
    }
    case PlyHeader::Type::Float32: {
        float v;
        std::memcpy(&v, bytes, 4);
        return v;
    }
    case PlyHeader::Type::Float64: {
        double v;
        std::memcpy(&v, bytes, 8);
        return v;
    }
    }
    return 0;
}

} // namespace

void CloudReader::Columns::colourOf(const double* values, std::uint8_t rgba[4]) const
{
    rgba[3] = 255;
    const bool useRgb = hasRgb && (keep == Keep::Rgb || (keep == Keep::Intensity && !hasIntensity));
    const bool useIntensity = hasIntensity && (keep == Keep::Intensity || (keep == Keep::Rgb && !hasRgb));
    if (useRgb && keep == Keep::Rgb) {
        rgba[0] = toByte(values[Red] * rgbScale);
        rgba[1] = toByte(values[Green] * rgbScale);
        rgba[2] = toByte(values[Blue] * rgbScale);
    } else if (useRgb) {
        rgba[0] = rgba[1] = rgba[2] = toByte((values[Red] + values[Green] + values[Blue]) / 3.0 * rgbScale);
    } else if (useIntensity) {
        rgba[0] = rgba[1] = rgba[2] = toByte(values[Intensity] * intensityScale);
    } else {
        rgba[0] = rgba[1] = rgba[2] = greyByte;
    }
}

CloudReader::CloudReader() = default;

CloudReader::~CloudReader()
{
    if (m_file)
        std::fclose(m_file);
}

std::string CloudReader::where(long long line) const
{
    return m_path + ": line " + std::to_string(line) + ": ";
}

std::string CloudReader::description() const
{
    switch (m_kind) {
    case Kind::AsciiPly:
        return "ASCII PLY, " + std::to_string(m_declared) + " vertices";
    case Kind::BinaryLittleEndianPly:
        return "binary little-endian PLY, " + std::to_string(m_declared) + " vertices";
    case Kind::BinaryBigEndianPly:
        return "binary big-endian PLY, " + std::to_string(m_declared) + " vertices";
    case Kind::Text:
        return "text columns";
    }
    return std::string();
}

bool CloudReader::open(const ArchiveOptions& options, std::string& error)
{
    m_path = options.input;
    m_file = std::fopen(m_path.c_str(), "rb");
    if (!m_file) {
        error = "cannot open " + m_path + ": " + std::strerror(errno);
        return false;
    }
    struct stat info;
    if (fstat(fileno(m_file), &info) != 0 || !S_ISREG(info.st_mode)) {
        error = m_path + " is not a regular file";
        return false;
    }
    m_fileSize = static_cast<unsigned long long>(info.st_size);
    m_buffer.resize(blockBytes);
    if (!fill(error))
        return false;

    m_columns.keep = options.outputFormat == "xyzrgb" ? Columns::Keep::Rgb
                     : options.outputFormat == "xyzi" ? Columns::Keep::Intensity
                                                      : Columns::Keep::Grey;
    m_columns.rgbScale = options.colorScale;
    m_columns.intensityScale = options.intensityScale;

    const char* text = m_buffer.data();
    const size_t size = m_end;
    const bool ply = size >= 4 && std::memcmp(text, "ply", 3) == 0 && (text[3] == '\n' || text[3] == '\r');
    if (ply)
        return openPly(error);
    return openText(options, error);
}

bool CloudReader::openPly(std::string& error)
{
    // The header lies within the first block; its end is where the data starts.
    const char* text = m_buffer.data();
    const char* end = text + m_end;
    const char* p = text;
    const char* headerEnd = nullptr;
    while (p < end) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        if (!nl)
            break;
        const char* e = nl;
        while (e > p && (e[-1] == '\r' || e[-1] == ' ' || e[-1] == '\t'))
            --e;
        if (e - p == 10 && std::memcmp(p, "end_header", 10) == 0) {
            headerEnd = nl + 1;
            break;
        }
        p = nl + 1;
    }
    if (!headerEnd) {
        error = m_path + ": PLY header has no end_header line";
        return false;
    }
    TextLineReader lines(text, headerEnd);
    PlyHeader header;
    QString why;
    if (!PlyHeader::read(lines, header, why)) {
        error = m_path + ": " + why.toStdString();
        return false;
    }
    m_lineNumber = lines.lineNumber();
    m_begin = size_t(headerEnd - text);
    m_declared = header.vertexCount;

    m_columns.count = header.propertyCount;
    for (int i = 0; i < header.propertyCount; ++i) {
        switch (header.roles[i]) {
        case PlyHeader::X:
            m_columns.roles[i] = Columns::X;
            break;
        case PlyHeader::Y:
            m_columns.roles[i] = Columns::Y;
            break;
        case PlyHeader::Z:
            m_columns.roles[i] = Columns::Z;
            break;
        case PlyHeader::Red:
            m_columns.roles[i] = Columns::Red;
            break;
        case PlyHeader::Green:
            m_columns.roles[i] = Columns::Green;
            break;
        case PlyHeader::Blue:
            m_columns.roles[i] = Columns::Blue;
            break;
        default:
            m_columns.roles[i] = Columns::Skip;
            break;
        }
    }
    m_columns.lastUsed = header.lastUsedColumn;
    m_columns.hasRgb = header.hasColour;
    if (header.colourIsFloat)
        m_columns.rgbScale *= 255.0;

    if (header.format == PlyHeader::Format::Ascii) {
        m_kind = Kind::AsciiPly;
        m_skipLines = header.linesBeforeVertices;
        m_skipBlankLines = true;
        return true;
    }
    m_kind = header.format == PlyHeader::Format::BinaryLittleEndian ? Kind::BinaryLittleEndianPly
                                                                    : Kind::BinaryBigEndianPly;
    if (header.linesBeforeVertices > 0) {
        error = m_path + ": binary PLY with elements before the vertices is not supported";
        return false;
    }
    int offset = 0;
    for (int i = 0; i < header.propertyCount; ++i) {
        m_offsets[i] = offset;
        m_types[i] = static_cast<std::uint8_t>(header.types[i]);
        offset += PlyHeader::byteSize(header.types[i]);
    }
    m_recordSize = offset;
    return true;
}

bool CloudReader::openText(const ArchiveOptions& options, std::string& error)
{
    m_kind = Kind::Text;
    const std::string& format = options.inputFormat;
    if (int(format.size()) > Columns::maxColumns) {
        error = "-input_format names more than 64 columns";
        return false;
    }
    m_columns.count = int(format.size());
    for (int i = 0; i < m_columns.count; ++i) {
        Columns::Role role = Columns::Skip;
        switch (format[size_t(i)]) {
        case 'x':
            role = Columns::X;
            break;
        case 'y':
            role = Columns::Y;
            break;
        case 'z':
            role = Columns::Z;
            break;
        case 'r':
            role = Columns::Red;
            break;
        case 'g':
            role = Columns::Green;
            break;
        case 'b':
            role = Columns::Blue;
            break;
        case 'i':
            role = Columns::Intensity;
            break;
        default:
            break;
        }
        m_columns.roles[i] = role;
        if (role != Columns::Skip)
            m_columns.lastUsed = i;
    }
    const auto has = [&format](char c) { return format.find(c) != std::string::npos; };
    m_columns.hasRgb = has('r') && has('g') && has('b');
    m_columns.hasIntensity = has('i');
    if (!m_columns.hasRgb)
        for (int i = 0; i < m_columns.count; ++i)
            if (m_columns.roles[i] == Columns::Red || m_columns.roles[i] == Columns::Green ||
                m_columns.roles[i] == Columns::Blue)
                m_columns.roles[i] = Columns::Skip;
    m_skipLines = options.skipHeader;
    m_skipBlankLines = false;
    return true;
}

bool CloudReader::fill(std::string& error)
{
    if (m_begin > 0) {
        std::memmove(m_buffer.data(), m_buffer.data() + m_begin, m_end - m_begin);
        m_end -= m_begin;
        m_begin = 0;
    }
    while (!m_eof && m_end < m_buffer.size()) {
        const size_t n = std::fread(m_buffer.data() + m_end, 1, m_buffer.size() - m_end, m_file);
        m_end += n;
        m_bytesRead += n;
        if (n == 0) {
            if (std::ferror(m_file)) {
                error = "cannot read " + m_path + ": " + std::strerror(errno);
                return false;
            }
            m_eof = true;
        }
    }
    return true;
}

bool CloudReader::next(std::vector<InputPoint>& out, std::string& error)
{
    error.clear();
    if (m_done)
        return false;
    const bool more = m_recordSize > 0 ? nextBinary(out, error) : nextText(out, error);
    if (!more)
        m_done = true;
    return more;
}

CloudReader::ParsedLines CloudReader::parseLines(const char* begin, const char* end, const Columns& columns,
                                                 long long maxPoints, std::vector<InputPoint>& out)
{
    ParsedLines result;
    long long produced = 0;
    double values[8] = {};
    const char* p = begin;
    while (p < end) {
        const char* nl = static_cast<const char*>(std::memchr(p, '\n', size_t(end - p)));
        const char* lineEnd = nl ? nl : end;
        const char* q = p;
        if (TextTokens::toToken(q, lineEnd)) {
            if (produced >= maxPoints)
                break;
            ++result.lines;
            for (int column = 0; column <= columns.lastUsed; ++column) {
                if (!TextTokens::toToken(q, lineEnd)) {
                    result.errorLine = result.lines;
                    result.error = "expected at least " + std::to_string(columns.lastUsed + 1) +
                                   " values, found " + std::to_string(column);
                    return result;
                }
                const Columns::Role role = columns.roles[column];
                if (role == Columns::Skip) {
                    TextTokens::skipToken(q, lineEnd);
                } else if (!TextTokens::readNumber(q, lineEnd, values[role])) {
                    result.errorLine = result.lines;
                    result.error = "value " + std::to_string(column + 1) + " is not a number";
                    return result;
                }
            }
            if (!std::isfinite(values[Columns::X]) || !std::isfinite(values[Columns::Y]) ||
                !std::isfinite(values[Columns::Z])) {
                result.errorLine = result.lines;
                result.error = "coordinate out of range";
                return result;
            }
            InputPoint point;
            point.x = values[Columns::X];
            point.y = values[Columns::Y];
            point.z = values[Columns::Z];
            columns.colourOf(values, point.rgba);
            out.push_back(point);
            ++produced;
        } else {
            ++result.lines;
        }
        p = nl ? nl + 1 : end;
    }
    return result;
}

bool CloudReader::nextText(std::vector<InputPoint>& out, std::string& error)
{
    // Header lines of plain text, element lines before the PLY vertices.
    while (m_skipLines > 0) {
        const char* base = m_buffer.data();
        const char* nl = static_cast<const char*>(std::memchr(base + m_begin, '\n', m_end - m_begin));
        if (nl) {
            ++m_lineNumber;
            if (!m_skipBlankLines || !isBlankText(base + m_begin, nl))
                --m_skipLines;
            m_begin = size_t(nl - base) + 1;
            continue;
        }
        if (m_eof) {
            m_begin = m_end;
            m_skipLines = 0;
            break;
        }
        if (m_begin == 0 && m_end == m_buffer.size()) {
            error = where(m_lineNumber + 1) + "line longer than " + std::to_string(blockBytes) + " bytes";
            return false;
        }
        if (!fill(error))
            return false;
    }

    const long long remaining = m_declared >= 0 ? m_declared - m_pointsRead : LLONG_MAX;
    if (remaining <= 0)
        return false;

    if (!m_eof && m_end - m_begin < m_buffer.size() / 2 && !fill(error))
        return false;
    const char* base = m_buffer.data();
    const char* nl = lastNewline(base + m_begin, base + m_end);
    while (!nl && !m_eof) {
        if (m_begin == 0 && m_end == m_buffer.size()) {
            error = where(m_lineNumber + 1) + "line longer than " + std::to_string(blockBytes) + " bytes";
            return false;
        }
        if (!fill(error))
            return false;
        base = m_buffer.data();
        nl = lastNewline(base + m_begin, base + m_end);
    }
    const char* begin = base + m_begin;
    const char* cut = m_eof ? base + m_end : nl + 1;
    if (begin == cut) {
        if (m_declared >= 0 && m_pointsRead < m_declared) {
            error = m_path + ": the file ends after " + std::to_string(m_pointsRead) + " of " +
                    std::to_string(m_declared) + " vertices";
        }
        return false;
    }

    // Two halves parsed side by side; the second half's points and errors
    // count only as far as the declared vertices reach.
    const char* middle = cut;
    if (cut - begin > (1 << 20)) {
        const char* half = begin + (cut - begin) / 2;
        const char* split = static_cast<const char*>(std::memchr(half, '\n', size_t(cut - half)));
        if (split)
            middle = split + 1;
    }
    std::vector<InputPoint> second;
    ParsedLines b;
    std::thread worker;
    if (middle < cut)
        worker = std::thread([&] {
            second.reserve(size_t(cut - middle) / 24);
            b = parseLines(middle, cut, m_columns, remaining, second);
        });
    const size_t before = out.size();
    out.reserve(before + size_t(middle - begin) / 24);
    const ParsedLines a = parseLines(begin, middle, m_columns, remaining, out);
    if (worker.joinable())
        worker.join();
    const long long gotA = static_cast<long long>(out.size() - before);
    m_begin = size_t(cut - base);

    if (a.errorLine >= 0) {
        error = where(m_lineNumber + a.errorLine) + a.error;
        return false;
    }
    m_pointsRead += gotA;
    if (gotA >= remaining || middle == cut) {
        m_lineNumber += a.lines;
        return true;
    }
    const long long wanted = remaining - gotA;
    const long long gotB = std::min<long long>(static_cast<long long>(second.size()), wanted);
    if (b.errorLine >= 0 && static_cast<long long>(second.size()) < wanted) {
        error = where(m_lineNumber + a.lines + b.errorLine) + b.error;
        return false;
    }
    out.insert(out.end(), second.begin(), second.begin() + gotB);
    m_pointsRead += gotB;
    m_lineNumber += a.lines + b.lines;
    return true;
}

bool CloudReader::nextBinary(std::vector<InputPoint>& out, std::string& error)
{
    const long long remaining = m_declared - m_pointsRead;
    if (remaining <= 0)
        return false;
    if (!m_eof && m_end - m_begin < m_buffer.size() / 2 && !fill(error))
        return false;
    const long long whole = static_cast<long long>((m_end - m_begin) / size_t(m_recordSize));
    const long long n = std::min(whole, remaining);
    if (n == 0) {
        error = m_path + ": the file ends after " + std::to_string(m_pointsRead) + " of " +
                std::to_string(m_declared) + " vertices";
        return false;
    }
    const bool swap = (m_kind == Kind::BinaryBigEndianPly) == (Q_BYTE_ORDER == Q_LITTLE_ENDIAN);
    const char* record = m_buffer.data() + m_begin;
    double values[8] = {};
    out.reserve(out.size() + size_t(n));
    for (long long k = 0; k < n; ++k, record += m_recordSize) {
        for (int column = 0; column <= m_columns.lastUsed; ++column) {
            const Columns::Role role = m_columns.roles[column];
            if (role != Columns::Skip)
                values[role] = decode(record + m_offsets[column], PlyHeader::Type(m_types[column]), swap);
        }
        if (!std::isfinite(values[Columns::X]) || !std::isfinite(values[Columns::Y]) ||
            !std::isfinite(values[Columns::Z])) {
            error = m_path + ": vertex " + std::to_string(m_pointsRead + k + 1) + ": coordinate out of range";
            return false;
        }
        InputPoint point;
        point.x = values[Columns::X];
        point.y = values[Columns::Y];
        point.z = values[Columns::Z];
        m_columns.colourOf(values, point.rgba);
        out.push_back(point);
    }
    m_begin += size_t(n) * size_t(m_recordSize);
    m_pointsRead += n;
    return true;
}
