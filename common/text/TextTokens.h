#pragma once

#include "common/numbers/NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <system_error>
#include <type_traits>
#include <vector>

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
    t.blank[static_cast<unsigned char>('\n')] = true;
    return t;
}

inline constexpr BlankTable blankTable = makeBlankTable();

} // namespace textTokensDetail

// The blank-separated words of a line of text and their numbers, for every
// reader of ours, the workbench's and the tools'. A word counts as a number
// only when it is one as a whole (common/numbers/NumberText: the C locale,
// the nearest double), so a word in a data line is noticed instead of read as
// 0, and a stream's habit of reading what it can of a word and leaving the
// rest to the next field ("3500.5.25" as 3500.5 and 0.25) is not ours.
// Pointer steps for the point readers' inner loops; words as views for the
// others.
class TextTokens
{
public:
    static bool isBlank(char c) { return textTokensDetail::blankTable.blank[static_cast<unsigned char>(c)]; }

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

    // The words of line, as views into it (it must outlive them).
    static std::vector<std::string_view> split(std::string_view line)
    {
        std::vector<std::string_view> words;
        const char* p = line.data();
        const char* end = p + line.size();
        while (toToken(p, end)) {
            const char* start = p;
            skipToken(p, end);
            words.emplace_back(start, size_t(p - start));
        }
        return words;
    }

    // The line from the start of word on, without the blanks that end the
    // line: the last field of a line that may itself hold blanks (an image
    // name).
    static std::string rest(std::string_view line, std::string_view word)
    {
        std::string_view tail = line.substr(size_t(word.data() - line.data()));
        while (!tail.empty() && isBlank(tail.back()))
            tail.remove_suffix(1);
        return std::string(tail);
    }

    // A whole integer, or a finite floating-point number, that is all of word.
    template <typename T> static bool number(std::string_view word, T& value)
    {
        T parsed{};
        const char* end = word.data() + word.size();
        if constexpr (std::is_floating_point_v<T>) {
            if (!NumberText::read(word.data(), end, parsed) || !std::isfinite(parsed))
                return false;
        } else {
            const std::from_chars_result r = std::from_chars(word.data(), end, parsed);
            if (word.empty() || r.ec != std::errc() || r.ptr != end)
                return false;
        }
        value = parsed;
        return true;
    }

    // The word in double quotes for a message, cut after 40 characters.
    static std::string quoted(std::string_view word)
    {
        return "\"" + std::string(word.substr(0, 40)) + (word.size() > 40 ? "...\"" : "\"");
    }

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
