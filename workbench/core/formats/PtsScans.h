#pragma once

#include <QtGlobal>

class TextLineReader;

// The point counts of a PTS file: the count on its first line and, in files
// with several scans, the count line that starts each further scan. Both the
// reader and the conversion to PLY walk the point lines through it.
class PtsScans
{
public:
    // Reads the first line that is not blank as the first scan's count.
    // False when it is no count (or the file has no such line).
    bool readFirstCount(TextLineReader& lines);

    // Reads on to the next point line and sets p to its first token, end to
    // its end. Once a scan is full, a count line starts the next one and any
    // other line is counted as extra; blank lines are passed over. False at
    // the end of the file.
    bool nextPoint(TextLineReader& lines, const char*& p, const char*& end);

    qint64 declared() const { return m_declared; }
    // Points the current scan's count still promises.
    qint64 remaining() const { return m_remaining; }
    // Lines past a full scan that start no new one.
    qint64 extraLines() const { return m_extraLines; }

private:
    bool takePoint(const char* begin, const char* end);

    qint64 m_declared = 0;
    qint64 m_remaining = 0;
    qint64 m_extraLines = 0;
};
