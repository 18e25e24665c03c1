#include "core/formats/PtsScans.h"

#include "common/text/TextTokens.h"
#include "core/io/TextLineReader.h"

bool PtsScans::readFirstCount(TextLineReader& lines)
{
    const char* begin = nullptr;
    const char* end = nullptr;
    while (lines.next(begin, end)) {
        if (TextTokens::isBlankLine(begin, end))
            continue;
        if (!TextTokens::readCountLine(begin, end, m_declared))
            return false;
        m_remaining = m_declared;
        return true;
    }
    return false;
}

bool PtsScans::nextPoint(TextLineReader& lines, const char*& p, const char*& end)
{
    const char* begin = nullptr;
    while (lines.next(begin, end)) {
        p = begin;
        if (TextTokens::toToken(p, end) && takePoint(begin, end))
            return true;
    }
    return false;
}

bool PtsScans::takePoint(const char* begin, const char* end)
{
    if (m_remaining > 0) {
        --m_remaining;
        return true;
    }
    qint64 next = 0;
    if (TextTokens::readCountLine(begin, end, next))
        m_remaining = next;
    else
        ++m_extraLines;
    return false;
}
