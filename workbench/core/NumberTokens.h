#pragma once

#include "NumberParser.h"

// Blank-separated numeric tokens of one text line, for the point readers'
// inner loops. A token counts as a number only when parseNumber used all of
// it, so a word in a data line is noticed instead of read as 0.
class NumberTokens
{
public:
    static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

    // Leaves p on the next token; false at the end of the line.
    static bool toToken(const char*& p, const char* end)
    {
        while (p < end && isBlank(*p))
            ++p;
        return p < end;
    }

    static void skipToken(const char*& p, const char* end)
    {
        while (p < end && !isBlank(*p))
            ++p;
    }

    // p stands on a token. True when the whole token is a number.
    static bool readNumber(const char*& p, const char* end, double& value)
    {
        const char* start = p;
        value = NumberParser::parseNumber(p, end);
        if (p == start || (p < end && !isBlank(*p))) {
            skipToken(p, end);
            return false;
        }
        return true;
    }

    static bool isBlankLine(const char* p, const char* end) { return !toToken(p, end); }
};
