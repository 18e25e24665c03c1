#pragma once

// The photograph of the image benchmarks: 12 megapixels, made from a
// reference photograph when there is one, synthesised otherwise.

#include <QImage>
#include <QString>

namespace BenchPhotos
{

// source scaled to 4000 x 3000; without it, gradients and fine texture,
// which compress about as a photograph does.
inline QImage twelveMegapixels(const QString& source)
{
    QImage picture(source);
    if (!picture.isNull())
        return picture.scaled(4000, 3000, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    picture = QImage(4000, 3000, QImage::Format_RGB32);
    for (int y = 0; y < picture.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x)
            line[x] = qRgb((x * 255 / 4000) ^ (y & 31), (y * 255 / 3000) ^ (x & 15), ((x * y) >> 9) & 255);
    }
    return picture;
}

} // namespace BenchPhotos
