#pragma once

#include <osg/Array>
#include <osg/Vec3d>

#include <QString>

class QIODevice;

// Writes point clouds as ASCII PLY with the VCGLIB header other mesh tools
// read: x, y, z with every digit they hold (the shortest text that reads
// back as the same value, so 1.5 stays "1.5"), colour as bytes.
class PlyWriter
{
public:
    // Replaces the file only when the whole text was written. Colours are
    // taken per vertex; a shorter colour array repeats its last colour (one
    // colour for the whole cloud), none at all gives white. The vertices are
    // stored relative to offset (a large cloud's scene origin) and are written
    // in world coordinates, offset + vertex, with the short decimals they
    // were read from.
    static bool writePly(const QString& fileName, const osg::Vec3Array& vertices,
                         const osg::Vec4Array& colours, QString* message = nullptr,
                         const osg::Vec3d& offset = osg::Vec3d());
    static bool writePly(QIODevice& device, const osg::Vec3Array& vertices, const osg::Vec4Array& colours,
                         QString* message = nullptr, const osg::Vec3d& offset = osg::Vec3d());

    // One coordinate as written: a float stored relative to offset, in world terms.
    static char* writeCoordinate(char* out, float local, double offset);

    // A colour channel 0..1 as the byte written: the product with 255
    // truncated, so 0.999 gives 254.
    static int channelByte(float channel);
};
