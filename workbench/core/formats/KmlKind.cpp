#include "core/formats/KmlKind.h"

#include "core/log/LogLine.h"

#include <QFile>
#include <QXmlStreamReader>

#include <iostream>

namespace
{

QString decide(QIODevice& device)
{
    QXmlStreamReader xml(&device);
    while (!xml.atEnd()) {
        // An XML error ends the search: what came before it has been seen.
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        // Local names, so "kml:Point" counts as well.
        if (xml.name() == QLatin1String("Point"))
            return QStringLiteral("Points");
        if (xml.name() == QLatin1String("Polygon"))
            return QStringLiteral("Polygons");
    }
    return QStringLiteral("Points");
}

} // namespace

QString KmlKind::kindOfKml(QIODevice& device)
{
    const QString kind = decide(device);
    LogLine() << "Is: " << kind.toStdString() << std::endl;
    return kind;
}

QString KmlKind::kindOfKml(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        LogLine() << "Is: Points" << std::endl;
        return QStringLiteral("Points");
    }
    return kindOfKml(file);
}
