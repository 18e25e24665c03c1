#pragma once

#include <osg/Array>

#include <QString>

class PointShift;
class QIODevice;

// Reads PTS laser scans: a point count line, then one point per line as
// x y z intensity red green blue. Lines without colour (x y z, or
// x y z intensity) still give their point, drawn grey.
class PtsReader
{
public:
    // Appends the points of every scan in the file. True when at least one
    // point was read; message (when given) says why not, or what was skipped.
    // With a shift the coordinates are stored relative to its offset.
    static bool readPts(const QString& fileName, osg::Vec3Array& vertices, osg::Vec4Array& colours,
                        QString* message = nullptr, PointShift* shift = nullptr);
    static bool readPts(QIODevice& device, osg::Vec3Array& vertices, osg::Vec4Array& colours,
                        QString* message = nullptr, PointShift* shift = nullptr);

private:
    static bool read(QIODevice& device, const QString& label, osg::Vec3Array& vertices,
                     osg::Vec4Array& colours, QString* message, PointShift* shift);
};
