#include "common/numbers/NumberText.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace
{

// Exact powers of ten (every one up to 1e22 is a double without rounding).
constexpr double exactPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                  1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Integers up to this size are exact in a double.
constexpr double exactIntegers = 9007199254740992.0;

template <typename T> char* writeShortest(char* out, T value)
{
    if (std::isnan(value)) {
        out[0] = 'n';
        out[1] = 'a';
        out[2] = 'n';
        return out + 3;
    }
    // std::to_chars without a format gives the shortest text that reads back
    // as the same value, and never looks at the locale.
    return std::to_chars(out, out + NumberText::maxLength, value).ptr;
}

template <typename T> bool readExact(const char* begin, const char* end, T& value)
{
    // std::from_chars takes "-" but not "+"; "+-1" stays refused.
    if (begin < end && *begin == '+' && (end - begin < 2 || begin[1] != '-'))
        ++begin;
    T parsed = 0;
    const std::from_chars_result r = std::from_chars(begin, end, parsed, std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != end || begin == end)
        return false;
    value = parsed;
    return true;
}

} // namespace

char* NumberText::write(char* out, double value)
{
    return writeShortest(out, value);
}

char* NumberText::write(char* out, float value)
{
    return writeShortest(out, value);
}

bool NumberText::read(const char* begin, const char* end, double& value)
{
    return readExact(begin, end, value);
}

bool NumberText::read(const char* begin, const char* end, float& value)
{
    return readExact(begin, end, value);
}

std::string NumberText::shortestString(double value)
{
    char text[maxLength];
    return std::string(text, write(text, value));
}

bool NumberText::readWord(std::string_view word, double& value)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    const char* begin = word.data();
    const char* end = begin + word.size();
    while (begin < end && blank(*begin))
        ++begin;
    while (end > begin && blank(end[-1]))
        --end;
    double parsed = 0;
    if (!read(begin, end, parsed) || !std::isfinite(parsed))
        return false;
    value = parsed;
    return true;
}

const char* NumberText::readLeading(const char* begin, const char* end, double& value)
{
    const char* p = begin;
    if (p < end && *p == '+' && (end - p < 2 || p[1] != '-'))
        ++p;
    double parsed = 0;
    const std::from_chars_result r = std::from_chars(p, end, parsed, std::chars_format::general);
    if (r.ptr == p)
        return begin;
    if (r.ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: an infinity or a zero of its
        // sign, as strtod gives (a clamp to the largest double would make
        // "1e400" a finite, if absurd, index or coordinate).
        const std::string_view number(p, size_t(r.ptr - p));
        const size_t exponent = number.find_first_of("eE");
        const bool small = exponent == std::string_view::npos
                               ? number.find_first_not_of("-0.") == std::string_view::npos ||
                                     number.find_first_of("123456789") > number.find('.')
                               : exponent + 1 < number.size() && number[exponent + 1] == '-';
        parsed = small ? 0.0 : std::numeric_limits<double>::infinity();
        if (*p == '-')
            parsed = -parsed;
    } else if (r.ec != std::errc()) {
        return begin;
    }
    value = parsed;
    return r.ptr;
}

double NumberText::fewestDecimals(double value, double tolerance)
{
    if (!std::isfinite(value) || !(tolerance > 0.0))
        return value;
    for (double power : exactPowers) {
        const double scaled = value * power;
        if (std::fabs(scaled) >= exactIntegers)
            break;
        // An integer divided by an exact power of ten rounds once: the same
        // double the decimal text gives when it is read.
        const double candidate = std::round(scaled) / power;
        if (std::fabs(candidate - value) < tolerance)
            return candidate;
    }
    return value;
}

double NumberText::halfFloatStep(double value)
{
    const float f = std::fabs(static_cast<float>(value));
    if (!std::isfinite(f))
        return 0.0;
    const float next = std::nextafter(f, std::numeric_limits<float>::infinity());
    return (static_cast<double>(next) - static_cast<double>(f)) / 2.0;
}
