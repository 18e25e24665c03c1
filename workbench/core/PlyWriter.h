#pragma once

#include <osg/Array>

#include <QString>

class QIODevice;

// Writes point clouds as ASCII PLY with the VCGLIB header other mesh tools
// read: x, y, z as floats in the stream's six-digit format, colour as bytes.
class PlyWriter
{
public:
    // Replaces the file only when the whole text was written. Colours are
    // taken per vertex; a shorter colour array repeats its last colour (one
    // colour for the whole cloud), none at all gives white.
    static bool writePly(const QString& fileName, const osg::Vec3Array& vertices,
                         const osg::Vec4Array& colours, QString* message = nullptr);
    static bool writePly(QIODevice& device, const osg::Vec3Array& vertices, const osg::Vec4Array& colours,
                         QString* message = nullptr);

    // A colour channel 0..1 as the byte written: the product with 255
    // truncated, so 0.999 gives 254.
    static int channelByte(float channel);
};
