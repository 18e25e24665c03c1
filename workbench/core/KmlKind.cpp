#include "KmlKind.h"

#include <QFile>

#include <iostream>

namespace
{

QString decide(QIODevice& device)
{
    // Lines are read in bounded pieces; the tail of a piece is kept so a word
    // split between two pieces is still seen.
    constexpr qint64 pieceSize = 1 << 16;
    bool point = false;
    bool polygon = false;
    QByteArray tail;
    while (!device.atEnd()) {
        const QByteArray piece = device.readLine(pieceSize);
        if (piece.isEmpty())
            break;
        const QByteArray text = tail + piece;
        point = point || text.contains("Point");
        polygon = polygon || text.contains("Polygon");
        if (piece.endsWith('\n') || device.atEnd()) {
            if (point)
                return QStringLiteral("Points");
            if (polygon)
                return QStringLiteral("Polygons");
            tail.clear();
        } else {
            tail = piece.right(6);
        }
    }
    return QStringLiteral("Points");
}

} // namespace

QString KmlKind::kindOfKml(QIODevice& device)
{
    const QString kind = decide(device);
    std::cout << "Is: " << kind.toStdString() << std::endl;
    return kind;
}

QString KmlKind::kindOfKml(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::cout << "Is: Points" << std::endl;
        return QStringLiteral("Points");
    }
    return kindOfKml(file);
}
