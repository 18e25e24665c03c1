#pragma once

#include <QString>

class QIODevice;

// Tells a KML file's layer type from its text: the first line that mentions
// "Point" or "Polygon" decides ("Point" tested first); a file with neither,
// or one that cannot be read, is a "Points" layer.
class KmlKind
{
public:
    static QString kindOfKml(const QString& path);
    static QString kindOfKml(QIODevice& device);
};
