#pragma once

#include "common/numbers/NumberText.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace textTokensDetail
{

// One lookup per character: the separator test runs for every byte of files
// with millions of lines.
struct BlankTable {
    bool blank[256];
};

constexpr BlankTable makeBlankTable()
{
    BlankTable t{};
    t.blank[static_cast<unsigned char>(' ')] = true;
    t.blank[static_cast<unsigned char>('\t')] = true;
    t.blank[static_cast<unsigned char>('\r')] = true;
    t.blank[static_cast<unsigned char>('\v')] = true;
    t.blank[static_cast<unsigned char>('\f')] = true;
    return t;
}

inline constexpr BlankTable blankTable = makeBlankTable();

} // namespace textTokensDetail

// Blank-separated numeric tokens of one text line, for the point readers'
// inner loops. A token counts as a number only when it is one as a whole, so
// a word in a data line is noticed instead of read as 0.
class TextTokens
{
public:
    static bool isBlank(char c)
    {
        return textTokensDetail::blankTable.blank[static_cast<unsigned char>(c)];
    }

    // Leaves p on the next token; false at the end of the line.
    static bool toToken(const char*& p, const char* end)
    {
        while (p < end && isBlank(*p))
            ++p;
        return p < end;
    }

    static void skipToken(const char*& p, const char* end)
    {
        // Eight bytes at a time while they lie inside the line: the first
        // byte at or below ' ' ends the token (separators and control
        // characters alike; bytes of 0x80 and up never do).
        while (__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ && end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            const std::uint64_t low = (word - 0x2121212121212121ull) & ~word & 0x8080808080808080ull;
            if (low) {
                p += __builtin_ctzll(low) / 8; // little-endian: lowest byte first
                if (isBlank(*p) || static_cast<unsigned char>(*p) > ' ')
                    return;
                break; // a control character other than a blank: finish bytewise
            }
            p += 8;
        }
        while (p < end && !isBlank(*p))
            ++p;
    }

    // p stands on a token and is left behind it. True when the whole token
    // is a finite number, read exactly (NumberText::read: the double nearest
    // to its text, so what a writer wrote as shortest round-trip text comes
    // back bit for bit); a word, a number with letters glued to it, "nan" or
    // a magnitude no double holds is noticed instead of read as a number.
    static bool readNumber(const char*& p, const char* end, double& value)
    {
        const char* tokenEnd = p;
        skipToken(tokenEnd, end);
        double exact = 0;
        const bool ok = NumberText::read(p, tokenEnd, exact) && std::isfinite(exact);
        p = tokenEnd;
        if (ok)
            value = exact;
        return ok;
    }

    // p stands on a token. True when the whole token is a finite number of
    // type T (the double, or the float, nearest to its text), and p then lies
    // behind it; otherwise false, and p stays.
    template <typename T> static bool readExact(const char*& p, const char* end, T& value)
    {
        const char* tokenEnd = p;
        skipToken(tokenEnd, end);
        T exact = 0;
        if (!NumberText::read(p, tokenEnd, exact) || !std::isfinite(exact))
            return false;
        value = exact;
        p = tokenEnd;
        return true;
    }

    static bool isBlankLine(const char* p, const char* end) { return !toToken(p, end); }

    // A count line (as point text files open with) holds one whole
    // non-negative number of at most 18 digits and nothing else.
    static bool readCountLine(const char* p, const char* end, long long& count)
    {
        if (!toToken(p, end))
            return false;
        long long value = 0;
        int digits = 0;
        for (; p < end && *p >= '0' && *p <= '9'; ++p, ++digits) {
            if (digits == 18)
                return false;
            value = value * 10 + (*p - '0');
        }
        if (digits == 0 || toToken(p, end))
            return false;
        count = value;
        return true;
    }
};
