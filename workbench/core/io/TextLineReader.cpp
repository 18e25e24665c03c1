#include "core/io/TextLineReader.h"

#include <QIODevice>

#include <cstring>

TextLineReader::TextLineReader(const char* begin, const char* end)
    : m_pos(begin), m_end(begin && end > begin ? end : begin), m_scanned(begin)
{
}

TextLineReader::TextLineReader(QIODevice* device, qint64 chunkSize)
    : m_device(device), m_capacity(qMax<qint64>(chunkSize, 64)), m_deviceDone(device == nullptr)
{
    m_buffer.reset(new char[static_cast<size_t>(m_capacity)]);
    m_pos = m_end = m_scanned = m_buffer.get();
}

TextLineReader::~TextLineReader() = default;

bool TextLineReader::next(const char*& begin, const char*& end)
{
    for (;;) {
        if (m_scanned < m_end) {
            const void* nl = std::memchr(m_scanned, '\n', static_cast<size_t>(m_end - m_scanned));
            if (nl) {
                begin = m_pos;
                end = static_cast<const char*>(nl);
                m_pos = m_scanned = end + 1;
                ++m_lineNumber;
                return true;
            }
            m_scanned = m_end;
        }
        if (m_deviceDone || !refill()) {
            if (m_pos < m_end) {
                begin = m_pos;
                end = m_end;
                m_pos = m_scanned = m_end;
                ++m_lineNumber;
                return true;
            }
            return false;
        }
    }
}

// Moves the unfinished line to the front, doubling the buffer only when one
// line fills it, and reads what fits behind it.
bool TextLineReader::refill()
{
    char* buffer = m_buffer.get();
    const qint64 kept = m_end - m_pos;
    if (kept == m_capacity) {
        const qint64 grown = m_capacity * 2;
        std::unique_ptr<char[]> bigger(new char[static_cast<size_t>(grown)]);
        std::memcpy(bigger.get(), m_pos, static_cast<size_t>(kept));
        m_buffer = std::move(bigger);
        m_capacity = grown;
        buffer = m_buffer.get();
    } else if (m_pos != buffer && kept > 0) {
        std::memmove(buffer, m_pos, static_cast<size_t>(kept));
    }
    m_pos = buffer;
    m_scanned = buffer + kept;
    m_end = buffer + kept;

    const qint64 got = m_device->read(buffer + kept, m_capacity - kept);
    if (got <= 0) {
        m_deviceDone = true;
        return false;
    }
    m_end += got;
    return true;
}

qint64 TextLineReader::bytesLeft() const
{
    const qint64 buffered = m_end - m_pos;
    if (!m_device || m_deviceDone)
        return buffered;
    if (m_device->isSequential())
        return -1;
    return buffered + qMax<qint64>(0, m_device->size() - m_device->pos());
}
