#pragma once
#include <QImage>
#include <QString>

// Writes an image as an uncompressed SGI ".rgb" file with four channels (the
// format OpenSceneGraph's particle textures are usually kept in).
class SgiImageWriter
{
public:
    static bool write(const QImage& image, const QString& path);
};
