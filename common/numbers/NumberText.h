#pragma once

#include <string>
#include <string_view>

// The one rule for numbers as text, in the workbench and the tools alike:
// written as the shortest text that reads back as exactly the same value,
// read as the value nearest to the text (std::to_chars, std::from_chars),
// both in the C locale whatever the user's locale is. A survey coordinate
// written and read again is the same double bit for bit, so it does not drift
// with each save and each program of the chain that passes it on; a reader
// that builds its value digit by digit lands a few units in the last place
// away (8613748.8677 as 8613748.867700001). Small numbers keep their short
// form (1.5 stays "1.5"); survey coordinates keep every digit they have
// (712345.674 stays "712345.674", where six significant digits would give
// "712346").
class NumberText
{
public:
    // The longest text write() produces ("-2.2250738585072014e-308"), with room to spare.
    static constexpr int maxLength = 32;

    // Writes the shortest round-trip text of value at out (no terminator)
    // and returns the end. Fixed or exponent notation, whichever is shorter:
    // 1e+06, 0.0001, 1e-05, 4123456.781. NaN and infinities give "nan",
    // "inf" and "-inf".
    static char* write(char* out, double value);
    // The same for a float: the shortest text that reads back as that float.
    static char* write(char* out, float value);

    // The exact reverse of write(): the double nearest to the decimal text
    // [begin, end), as strtod in the C locale gives it, so every text
    // write() makes reads back as the same double bit for bit (-0, the
    // denormals and the largest double included). The whole range must be
    // the number: an optional sign, digits with an optional point, an
    // optional exponent with its digits ("1e" is no number); "nan" and "inf"
    // read as themselves. False for anything else, and for a magnitude no
    // double holds (1e400, 1e-400); value is then left as it was.
    static bool read(const char* begin, const char* end, double& value);
    // The same for a float: the float nearest to the text, rounded once, so
    // every text write(float) makes reads back as that float. Through a
    // double it would be rounded twice: "7.038531e-26" gives a double
    // halfway between two floats, and the second rounding takes the other.
    static bool read(const char* begin, const char* end, float& value);

    // One finite number and nothing else in a word of a command line or a
    // list ("4882.1", " 0.5 "): blanks around it are allowed.
    static bool readWord(std::string_view word, double& value);

    // The number text starts with, for the readers that take the leading
    // number of a token and pass over what is glued to it ("12.5m" gives
    // 12.5): the end of that number, or begin (value untouched) when the text
    // does not start with one. A magnitude no double holds gives an infinity
    // ("1e400") or a zero ("1e-400") of its sign.
    static const char* readLeading(const char* begin, const char* end, double& value);

    static std::string shortestString(double value);

    // The number with the fewest decimals that lies less than tolerance away
    // from value (value itself when none does). A coordinate kept as a float
    // relative to an origin is only known to half a float step; this gives
    // back the short decimal it was read from (712345.674, not
    // 712345.67401123047).
    static double fewestDecimals(double value, double tolerance);
    // Half the distance from value, as a float, to the next float away from 0.
    static double halfFloatStep(double value);
};
