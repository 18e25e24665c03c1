#pragma once

#include "ArchiveOptions.h"
#include "InputPoint.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

// Streams the points of a cloud file block by block, so memory stays the
// same whatever the file's size. A file that starts with "ply" is read by its
// header (ASCII, or binary of either byte order); anything else is plain text
// whose columns the input format letters name, after the given number of
// header lines. Bad input stops the reading with a reason that names the line.
class CloudReader
{
public:
    enum class Kind { AsciiPly, BinaryLittleEndianPly, BinaryBigEndianPly, Text };

    // How the values of one line or record become a point.
    struct Columns {
        enum Role : std::uint8_t { Skip, X, Y, Z, Red, Green, Blue, Intensity };
        static constexpr int maxColumns = 64;
        Role roles[maxColumns] = {};
        int count = 0;
        int lastUsed = -1;
        bool hasRgb = false;
        bool hasIntensity = false;
        double rgbScale = 1.0; // file colour values to 0..255
        double intensityScale = 1.0;
        enum class Keep { Rgb, Intensity, Grey } keep = Keep::Rgb;

        void colourOf(const double* values, std::uint8_t rgba[4]) const;
    };

    // Result of parsing a run of whole text lines.
    struct ParsedLines {
        long long lines = 0;      // lines looked at, up to and including a bad one
        long long errorLine = -1; // 1-based within the run, -1 when all were good
        std::string error;
    };

    CloudReader();
    ~CloudReader();
    CloudReader(const CloudReader&) = delete;
    CloudReader& operator=(const CloudReader&) = delete;

    bool open(const ArchiveOptions& options, std::string& error);

    Kind kind() const { return m_kind; }
    // Vertices the PLY header declares; -1 for plain text.
    long long declaredCount() const { return m_declared; }
    unsigned long long fileSize() const { return m_fileSize; }
    unsigned long long bytesRead() const { return m_bytesRead; }
    long long pointsRead() const { return m_pointsRead; }
    // "ASCII PLY, 1200 vertices", for the progress lines.
    std::string description() const;

    // Appends the next block of points. False when there are no more, with
    // error set when the file was bad.
    bool next(std::vector<InputPoint>& out, std::string& error);

    // Parses the text lines in [begin, end): at most maxPoints points are
    // appended; parsing stops at the first bad line.
    static ParsedLines parseLines(const char* begin, const char* end, const Columns& columns,
                                  long long maxPoints, std::vector<InputPoint>& out);

    // Bytes of text parsed per block; a larger block is split between two threads.
    static constexpr size_t blockBytes = 8u << 20;

private:
    bool openPly(std::string& error);
    bool openText(const ArchiveOptions& options, std::string& error);
    bool fill(std::string& error);
    bool nextText(std::vector<InputPoint>& out, std::string& error);
    bool nextBinary(std::vector<InputPoint>& out, std::string& error);
    std::string where(long long line) const;

    std::string m_path;
    std::FILE* m_file = nullptr;
    Kind m_kind = Kind::Text;
    Columns m_columns;
    long long m_declared = -1;
    unsigned long long m_fileSize = 0;
    unsigned long long m_bytesRead = 0;
    long long m_pointsRead = 0;
    long long m_lineNumber = 0; // lines of the file handed out so far
    long long m_skipLines = 0;  // header lines of text, element lines before PLY vertices
    bool m_skipBlankLines = false;
    bool m_eof = false;
    bool m_done = false;

    std::vector<char> m_buffer;
    size_t m_begin = 0; // unread text is [m_begin, m_end)
    size_t m_end = 0;

    // Binary records.
    int m_recordSize = 0;
    int m_offsets[Columns::maxColumns] = {};
    std::uint8_t m_types[Columns::maxColumns] = {};
};
