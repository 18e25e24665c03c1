#include "core/formats/PlyKind.h"

#include <QFile>

QString PlyKind::kindOfPly(const QString& fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("PointCloud");
    return kindOfPly(file);
}

QString PlyKind::kindOfPly(QIODevice& device)
{
    // Headers are a few dozen short lines; a file that has not ended its
    // header by then is no PLY, and reading on would scan it whole.
    constexpr int maxLineLength = 4096;
    constexpr int maxHeaderLines = 10000;
    for (int i = 0; i < maxHeaderLines; ++i) {
        const QByteArray line = device.readLine(maxLineLength);
        if (line.isEmpty())
            break;
        const QList<QByteArray> words = line.simplified().split(' ');
        if (words.first() == "end_header")
            break;
        if (words.size() >= 3 && words[1] == "face") {
            bool ok = false;
            const qlonglong count = words[2].toLongLong(&ok);
            if (ok && count > 0)
                return QStringLiteral("Mesh");
        }
    }
    return QStringLiteral("PointCloud");
}
