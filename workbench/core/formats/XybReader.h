#pragma once

#include <osg/Array>

#include <QString>

class PointShift;
class QIODevice;

// Reads XYB clouds: 24-byte records of x, y, z, red, green, blue as 32-bit
// little-endian floats, colours already 0..1. A partial record at the end
// is ignored.
class XybReader
{
public:
    // Appends the file's points; false when the file cannot be opened or
    // holds no whole record with finite coordinates. With a shift the points
    // are stored relative to its offset (exactly: a float of the file minus
    // a kilometre corner is a float again).
    static bool readXyb(const QString& fileName, osg::Vec3Array& vertices, osg::Vec4Array& colours,
                        QString* message = nullptr, PointShift* shift = nullptr);
    static bool readXyb(QIODevice& device, osg::Vec3Array& vertices, osg::Vec4Array& colours,
                        QString* message = nullptr, PointShift* shift = nullptr);

    static constexpr int recordSize = 24;
};
