#include "SgiImageWriter.h"

#include <QByteArray>
#include <QSaveFile>

namespace
{

void putShort(QByteArray& out, int value)
{
    out.append(char((value >> 8) & 0xff));
    out.append(char(value & 0xff));
}

void putLong(QByteArray& out, long value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((value >> shift) & 0xff));
}

} // namespace

bool SgiImageWriter::write(const QImage& image, const QString& path)
{
    const QImage img = image.convertToFormat(QImage::Format_ARGB32);
    const int width = img.width();
    const int height = img.height();
    if (width <= 0 || height <= 0 || width > 0xffff || height > 0xffff)
        return false;

    // 512-byte header, big-endian: magic, verbatim storage, one byte per
    // channel, three dimensions, sizes, pixel range, name, normal colour map.
    QByteArray out;
    putShort(out, 474);
    out.append(char(0));
    out.append(char(1));
    putShort(out, 3);
    putShort(out, width);
    putShort(out, height);
    putShort(out, 4);
    putLong(out, 0);
    putLong(out, 255);
    putLong(out, 0);
    QByteArray name("smoke");
    name.append(QByteArray(80 - name.size(), '\0'));
    out.append(name);
    putLong(out, 0);
    out.append(QByteArray(404, '\0'));

    // Channel after channel, each from the bottom row up.
    for (int channel = 0; channel < 4; ++channel) {
        for (int y = height - 1; y >= 0; --y) {
            const QRgb* row = reinterpret_cast<const QRgb*>(img.constScanLine(y));
            for (int x = 0; x < width; ++x) {
                const QRgb p = row[x];
                const int value = channel == 0   ? qRed(p)
                                  : channel == 1 ? qGreen(p)
                                  : channel == 2 ? qBlue(p)
                                                 : qAlpha(p);
                out.append(char(value));
            }
        }
    }

    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size() && file.commit();
}
