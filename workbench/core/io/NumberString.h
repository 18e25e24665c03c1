#pragma once

#include "common/numbers/NumberText.h"

#include <QByteArray>
#include <QString>

// The workbench's Qt spellings of NumberText: shortest round-trip text as a
// QString for forms and Qt-written files, fixed notation for formats that take
// no exponent, a fixed layout kept where it suffices, and lengths for labels.
class NumberString
{
public:
    static QString shortest(double value);
    static QString shortest(float value);
    // The shortest round-trip text never in exponent form, for formats whose
    // readers take fixed notation only (CAD programs, "%f" files):
    // 712345.674, 0.0001, 1000000.
    static QByteArray fixed(double value);

    // The text QString::number(value, format, precision) gives when it reads
    // back as value, else the shortest round-trip text: a file format that
    // always wrote a fixed number of digits keeps its look wherever those
    // digits suffice.
    static QString keepOrShortest(double value, char format, int precision);

    // A measured length (metres) for a label or a log line: 'g' with six
    // significant digits, or as many more as the millimetres need (1234.567
    // stays "1234.567", where six digits would give "1234.57").
    static QString length(double metres);
};
