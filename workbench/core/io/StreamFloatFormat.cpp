#include "core/io/StreamFloatFormat.h"

#include <QtGlobal>

#include <charconv>
#include <cmath>
#include <cstring>

namespace
{

// 10^k for k = -33..51, the range a float's six-digit scaling needs; the
// compiler rounds each literal correctly, so a product with one of them is
// within about 1e-16 (relative) of the true value.
constexpr int lowestPower = -33;
constexpr double powersOfTen[] = {
    1e-33, 1e-32, 1e-31, 1e-30, 1e-29, 1e-28, 1e-27, 1e-26, 1e-25, 1e-24, 1e-23, 1e-22, 1e-21, 1e-20, 1e-19,
    1e-18, 1e-17, 1e-16, 1e-15, 1e-14, 1e-13, 1e-12, 1e-11, 1e-10, 1e-9,  1e-8,  1e-7,  1e-6,  1e-5,  1e-4,
    1e-3,  1e-2,  1e-1,  1e0,   1e1,   1e2,   1e3,   1e4,   1e5,   1e6,   1e7,   1e8,   1e9,   1e10,  1e11,
    1e12,  1e13,  1e14,  1e15,  1e16,  1e17,  1e18,  1e19,  1e20,  1e21,  1e22,  1e23,  1e24,  1e25,  1e26,
    1e27,  1e28,  1e29,  1e30,  1e31,  1e32,  1e33,  1e34,  1e35,  1e36,  1e37,  1e38,  1e39,  1e40,  1e41,
    1e42,  1e43,  1e44,  1e45,  1e46,  1e47,  1e48,  1e49,  1e50,  1e51};

inline double scaleByPowerOfTen(double a, int k)
{
    return a * powersOfTen[k - lowestPower];
}

constexpr char digitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// Trailing zeros of a six-digit number (at most five: the first digit is not 0).
inline int trailingZeros(unsigned digits)
{
    if (digits % 10)
        return 0;
    int n = 1;
    for (digits /= 10; n < 5 && digits % 10 == 0; digits /= 10)
        ++n;
    return n;
}

inline char* writeExponent(char* out, int exponent)
{
    *out++ = 'e';
    if (exponent < 0) {
        *out++ = '-';
        exponent = -exponent;
    } else {
        *out++ = '+';
    }
    if (exponent >= 100) {
        *out++ = static_cast<char>('0' + exponent / 100);
        exponent %= 100;
    }
    *out++ = static_cast<char>('0' + exponent / 10);
    *out++ = static_cast<char>('0' + exponent % 10);
    return out;
}

} // namespace

char* StreamFloatFormat::write(char* out, float value)
{
    // Streams print a float through its double value.
    const double v = value;
    quint32 bits;
    std::memcpy(&bits, &value, sizeof bits);
    const int biased = static_cast<int>((bits >> 23) & 0xff);
    // Zero, subnormals, infinities and NaN are rare enough for the exact path.
    if (biased == 0 || biased == 0xff)
        return writeSlow(out, v);

    const double a = std::fabs(v);
    // a lies in [2^b, 2^(b+1)); floor(b * log10 2), computed exactly for this
    // range with integers, is floor(log10 a) or one less.
    const int b = biased - 127;
    int exponent = (b * 78913) >> 18;
    double scaled = scaleByPowerOfTen(a, 5 - exponent);
    if (scaled >= 999999.5) {
        ++exponent;
        scaled = scaleByPowerOfTen(a, 5 - exponent);
    }
    // Close to a rounding tie the approximate product cannot decide which
    // way the sixth digit goes; the exact conversion does.
    const double fraction = scaled - static_cast<double>(static_cast<qint64>(scaled));
    if (std::fabs(fraction - 0.5) < 1e-6)
        return writeSlow(out, v);
    // scaled is positive and not near a tie, so adding a half rounds.
    unsigned digits = static_cast<unsigned>(scaled + 0.5); // NOLINT(bugprone-incorrect-roundings)
    if (digits >= 1000000) {
        digits /= 10;
        ++exponent;
    }

    // Six digits, two at a time, with room behind them for the fixed-size
    // copies below.
    char d[16] = {};
    const size_t high = digits / 10000;
    const size_t rest = digits % 10000;
    std::memcpy(d, digitPairs + 2 * high, 2);
    std::memcpy(d + 2, digitPairs + 2 * (rest / 100), 2);
    std::memcpy(d + 4, digitPairs + 2 * (rest % 100), 2);
    int used = 6 - trailingZeros(digits); // significant digits without trailing zeros

    *out = '-';
    out += v < 0;
    if (exponent < -4 || exponent >= 6) {
        out[0] = d[0];
        out[1] = '.';
        std::memcpy(out + 2, d + 1, 8);
        out += used > 1 ? used + 1 : 1;
        return writeExponent(out, exponent);
    }
    if (exponent >= 0) {
        // Integer digits, the point, then the rest; the point and the
        // fraction only when a non-zero digit follows it.
        std::memcpy(out, d, 8);
        out[exponent + 1] = '.';
        std::memcpy(out + exponent + 2, d + exponent + 1, 8);
        return out + (used > exponent + 1 ? used + 1 : exponent + 1);
    }
    // 0.000ddd: at most four zeros after the point.
    std::memcpy(out, "0.000", 5);
    out += 1 - exponent;
    std::memcpy(out, d, 8);
    return out + used;
}

char* StreamFloatFormat::writeSlow(char* out, double value)
{
    // std::to_chars with a precision is specified to print as printf does.
    return std::to_chars(out, out + maxLength, value, std::chars_format::general, 6).ptr;
}
