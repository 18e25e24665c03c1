#pragma once

#include <QString>

class QIODevice;

// Tells a KML file's layer type from its geometry elements: the first Point
// or Polygon element decides. Words in names and descriptions do not count
// (a polygon layer of the site "Point Hope" stays a polygon layer). A file
// with neither element, or one that cannot be read, is a "Points" layer.
class KmlKind
{
public:
    static QString kindOfKml(const QString& path);
    static QString kindOfKml(QIODevice& device);
};
