#pragma once

#include <cstdint>

// Lookup tables of NumberParser: the fraction quotients and the powers of ten
// exactly as the digit-by-digit algorithm makes them, computed by the compiler
// with the same IEEE operations, so a lookup gives the same bits as the
// division or multiplication chain it replaces.
namespace numberParserDetail
{

constexpr int tableFractionDigits = 24;
constexpr int maxExponent = 308;

struct Tables {
    // fraction[n][d] == d / 10^n, with 10^n made by repeated "* 10"
    double fraction[tableFractionDigits + 1][10];
    double divisor[tableFractionDigits + 1];
    // power[e] == 1e50^(e/50) * 1e8^((e%50)/8) * 10^((e%50)%8)
    double power[maxExponent + 1];
};

constexpr Tables makeTables()
{
    Tables t{};
    double div = 1.0;
    for (int n = 0; n <= tableFractionDigits; ++n) {
        t.divisor[n] = div;
        for (int d = 0; d < 10; ++d)
            t.fraction[n][d] = n == 0 ? 0.0 : d / div;
        div = div * 10.0;
    }
    for (int e = 0; e <= maxExponent; ++e) {
        double p = 1.0;
        int rest = e;
        for (; rest >= 50; rest -= 50)
            p = p * 1e50;
        for (; rest >= 8; rest -= 8)
            p = p * 1e8;
        for (; rest > 0; --rest)
            p = p * 10.0;
        t.power[e] = p;
    }
    return t;
}

inline constexpr Tables tables = makeTables();

} // namespace numberParserDetail

// The decimal number parser of the NVM, PLY and PTS readers. It ignores the
// user's locale (the separator is always "."), never allocates and never
// reports an error: parsing stops at the first character that fits no step,
// and a text without digits gives 0.
//
// The value is built the simple way, digit by digit: the integer part is
// accumulated, the n-th fraction digit d adds d/10^n, and the exponent
// (clamped to 308) multiplies or divides by a power of ten made of 1e50, 1e8
// and 10 steps. Files written by our tool chain were read this way from the
// start, so the results must not drift to a "more exact" conversion. Where a
// number written by our own writers must come back bit for bit (NVM, the
// coordinates of PLY), the readers take a token that is a whole number
// exactly (NumberTokens::readExact) and leave the rest to this parser.
class NumberParser
{
public:
    // Reads from s (nul-terminated). Leading blanks and tabs are skipped.
    static double parseNumber(const char* s);

    // Reads from p, never past end, and leaves p on the first character not
    // used. The hot path of the readers.
    static inline double parseNumber(const char*& p, const char* end);

    static constexpr int maxExponent = numberParserDetail::maxExponent;

private:
    static bool isDigit(char c) { return static_cast<unsigned char>(c - '0') < 10; }
};

inline double NumberParser::parseNumber(const char*& p, const char* end)
{
    using numberParserDetail::tableFractionDigits;
    constexpr const numberParserDetail::Tables& tables = numberParserDetail::tables;
    while (p < end && (*p == ' ' || *p == '\t'))
        ++p;
    bool negative = false;
    if (p < end && (*p == '-' || *p == '+')) {
        negative = *p == '-';
        ++p;
    }

    // Up to 15 digits are exact in an integer and in a double alike, so the
    // integer accumulation gives the same value as the double one; longer
    // runs continue in double.
    std::uint64_t whole = 0;
    int wholeDigits = 0;
    while (p < end && isDigit(*p) && wholeDigits < 15) {
        whole = whole * 10 + static_cast<unsigned>(*p - '0');
        ++wholeDigits;
        ++p;
    }
    double value = static_cast<double>(whole);
    while (p < end && isDigit(*p)) {
        value = value * 10.0;
        value = value + (*p - '0');
        ++p;
    }

    if (p < end && *p == '.') {
        ++p;
        int n = 1;
        while (p < end && isDigit(*p) && n <= tableFractionDigits) {
            value += tables.fraction[n][*p - '0'];
            ++n;
            ++p;
        }
        if (p < end && isDigit(*p)) {
            double div = tables.divisor[tableFractionDigits];
            while (p < end && isDigit(*p)) {
                div = div * 10.0;
                value += (*p - '0') / div;
                ++p;
            }
        }
    }

    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        bool negativeExponent = false;
        if (p < end && (*p == '-' || *p == '+')) {
            negativeExponent = *p == '-';
            ++p;
        }
        int exponent = 0;
        while (p < end && isDigit(*p)) {
            if (exponent <= maxExponent)
                exponent = exponent * 10 + (*p - '0');
            ++p;
        }
        if (exponent > maxExponent)
            exponent = maxExponent;
        if (negativeExponent)
            value /= tables.power[exponent];
        else
            value *= tables.power[exponent];
    }

    return negative ? -value : value;
}

// The readers' spelling.
inline double parseNumber(const char* s)
{
    return NumberParser::parseNumber(s);
}

inline double parseNumber(const char*& p, const char* end)
{
    return NumberParser::parseNumber(p, end);
}
