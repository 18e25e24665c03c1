#include "core/io/NumberString.h"

#include <charconv>
#include <cmath>

QString NumberString::shortest(double value)
{
    char text[NumberText::maxLength];
    return QString::fromLatin1(text, int(NumberText::write(text, value) - text));
}

QString NumberString::shortest(float value)
{
    char text[NumberText::maxLength];
    return QString::fromLatin1(text, int(NumberText::write(text, value) - text));
}

QByteArray NumberString::fixed(double value)
{
    if (std::isnan(value))
        return QByteArrayLiteral("nan");
    // The largest double written out in full has 309 digits.
    char text[400];
    const std::to_chars_result r = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed);
    return QByteArray(text, int(r.ptr - text));
}

QString NumberString::keepOrShortest(double value, char format, int precision)
{
    const QString text = QString::number(value, format, precision);
    bool ok = false;
    const double back = text.toDouble(&ok);
    // -0 and 0 read back equal; the short form of -0 keeps its sign.
    if (ok && back == value && std::signbit(back) == std::signbit(value))
        return text;
    return shortest(value);
}

QString NumberString::length(double metres)
{
    int digits = 6;
    if (std::isfinite(metres) && std::fabs(metres) >= 1000.0)
        digits = int(std::floor(std::log10(std::fabs(metres)))) + 1 + 3;
    return QString::number(metres, 'g', digits);
}
