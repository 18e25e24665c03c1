#pragma once

#include <QByteArray>
#include <QString>

#include "core/images/ExtractedObject.h"

// The CAD export of an extracted shape: an AutoLISP program defining
// loadHexagons, which sets the outer ring's points (pt1 ...) and centres
// (ct1 ...), the inner ring's (ptI1 ..., ctI1 ...), their counts, the plan
// extent of the outer ring (mt1, mt2) and the extrusion depths.
class AutoLispWriter
{
public:
    // The program for one object. A member's point is its connector's third
    // position, its centre the first.
    static QByteArray program(const ExtractedObject& object);

    // A number as the program writes it: the shortest text that reads back
    // the same double, never in exponent form (survey coordinates keep their
    // millimetres).
    static QByteArray number(double value);

    // Writes the program to folder + "lispOutput_" + n + ".lsp" with the
    // first n not taken. Returns the path written, or an empty string with
    // the reason in error.
    static QString write(const QString& folder, const ExtractedObject& object, QString* error = nullptr);
};
