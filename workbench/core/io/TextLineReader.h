#pragma once

#include <QtGlobal>

#include <memory>

class QIODevice;

// Hands out the lines of a text, either held in memory already or read from a
// device through one reused buffer, so a reader of a large file never holds a
// second copy of it. A line excludes its '\n' (a '\r' before it stays) and is
// valid until the next call of next().
class TextLineReader
{
public:
    TextLineReader(const char* begin, const char* end);
    explicit TextLineReader(QIODevice* device, qint64 chunkSize = 1 << 20);
    ~TextLineReader();

    TextLineReader(const TextLineReader&) = delete;
    TextLineReader& operator=(const TextLineReader&) = delete;

    // False at the end of the text. A last line without '\n' is still a line.
    bool next(const char*& begin, const char*& end);

    // Bytes not yet handed out, or -1 when the device cannot tell. Readers use
    // it to cap what a declared count may reserve.
    qint64 bytesLeft() const;

    // Lines handed out so far, for messages that name a line.
    qint64 lineNumber() const { return m_lineNumber; }

private:
    bool refill();

    QIODevice* m_device = nullptr;
    std::unique_ptr<char[]> m_buffer;
    qint64 m_capacity = 0;
    const char* m_pos = nullptr;
    const char* m_end = nullptr;
    const char* m_scanned = nullptr; // no '\n' in [m_pos, m_scanned)
    bool m_deviceDone = true;
    qint64 m_lineNumber = 0;
};
