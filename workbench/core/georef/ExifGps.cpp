#include "core/georef/ExifGps.h"

#include <QFile>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>
#include <limits>

namespace
{

double number(const QString& text)
{
    bool ok = false;
    const double v = text.toDouble(&ok);
    return ok ? v : std::numeric_limits<double>::quiet_NaN();
}

bool southOrWest(const QString& ref)
{
    const QString r = ref.trimmed();
    return r.startsWith(QLatin1Char('S'), Qt::CaseInsensitive) || r.startsWith(QLatin1Char('W'), Qt::CaseInsensitive);
}

} // namespace

QString ExifGps::xmlPathOf(const QString& photo)
{
    const int dot = photo.lastIndexOf(QLatin1Char('.'));
    const int slash = std::max(photo.lastIndexOf(QLatin1Char('/')), photo.lastIndexOf(QLatin1Char('\\')));
    return (dot > slash ? photo.left(dot) : photo) + QStringLiteral(".xml");
}

double ExifGps::parseDegrees(const QString& text)
{
    static const QRegularExpression dms(QStringLiteral(
        "^\\s*([-+]?\\d+(?:\\.\\d*)?)\\s*deg(?:\\s+(\\d+(?:\\.\\d*)?)')?(?:\\s*(\\d+(?:\\.\\d*)?)\")?\\s*([NSEW])?\\s*$"));
    const QRegularExpressionMatch m = dms.match(text);
    if (m.hasMatch()) {
        double v = number(m.captured(1));
        const double minutes = m.captured(2).isEmpty() ? 0 : number(m.captured(2));
        const double seconds = m.captured(3).isEmpty() ? 0 : number(m.captured(3));
        if (minutes >= 60 || seconds >= 60)
            return std::numeric_limits<double>::quiet_NaN();
        v = std::abs(v) + minutes / 60 + seconds / 3600;
        if (m.captured(1).startsWith(QLatin1Char('-')) || southOrWest(m.captured(4)))
            v = -v;
        return v;
    }
    static const QRegularExpression plain(QStringLiteral("^\\s*([-+]?\\d+(?:\\.\\d*)?(?:[eE][-+]?\\d+)?)\\s*([NSEW])?\\s*$"));
    const QRegularExpressionMatch p = plain.match(text);
    if (!p.hasMatch())
        return std::numeric_limits<double>::quiet_NaN();
    const double v = number(p.captured(1));
    return southOrWest(p.captured(2)) ? -std::abs(v) : v;
}

bool ExifGps::read(QIODevice& device, Position* position, QString* error)
{
    QXmlStreamReader xml(&device);
    QString latitude, longitude, latitudeRef, longitudeRef, altitude, altitudeRef;
    auto keep = [](QString& slot, const QString& value, bool preferred) {
        if (slot.isEmpty() || preferred)
            slot = value;
    };
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QString name = xml.name().toString();
        if (!name.startsWith(QLatin1String("GPS")))
            continue;
        // The GPS group's own tags come before the composite ones; either serves.
        const bool preferred = xml.prefix() == QLatin1String("GPS");
        const QString text = xml.readElementText(QXmlStreamReader::SkipChildElements);
        if (name == QLatin1String("GPSLatitude"))
            keep(latitude, text, preferred);
        else if (name == QLatin1String("GPSLongitude"))
            keep(longitude, text, preferred);
        else if (name == QLatin1String("GPSLatitudeRef"))
            keep(latitudeRef, text, preferred);
        else if (name == QLatin1String("GPSLongitudeRef"))
            keep(longitudeRef, text, preferred);
        else if (name == QLatin1String("GPSAltitude"))
            keep(altitude, text, preferred);
        else if (name == QLatin1String("GPSAltitudeRef"))
            keep(altitudeRef, text, preferred);
    }
    if (xml.hasError()) {
        *error = QStringLiteral("not an EXIF XML file (line %1: %2)").arg(xml.lineNumber()).arg(xml.errorString());
        return false;
    }
    if (latitude.isEmpty() || longitude.isEmpty()) {
        *error = QStringLiteral("no GPS position");
        return false;
    }
    double lat = parseDegrees(latitude), lon = parseDegrees(longitude);
    if (southOrWest(latitudeRef))
        lat = -std::abs(lat);
    if (southOrWest(longitudeRef))
        lon = -std::abs(lon);
    if (!(std::abs(lat) <= 90) || !(std::abs(lon) <= 180)) {
        *error = QStringLiteral("GPS position '%1, %2' is not a latitude and longitude").arg(latitude, longitude);
        return false;
    }
    Position p;
    p.latitude = lat;
    p.longitude = lon;
    static const QRegularExpression metres(QStringLiteral("^\\s*([-+]?\\d+(?:\\.\\d*)?)\\s*(?:m\\b.*)?$"));
    const QRegularExpressionMatch m = metres.match(altitude);
    if (m.hasMatch()) {
        p.altitude = number(m.captured(1));
        if (altitudeRef.contains(QLatin1String("Below"), Qt::CaseInsensitive) || altitudeRef.trimmed() == "1" ||
            altitude.contains(QLatin1String("Below"), Qt::CaseInsensitive))
            p.altitude = -std::abs(p.altitude);
        p.hasAltitude = std::isfinite(p.altitude);
    }
    *position = p;
    return true;
}

bool ExifGps::readFile(const QString& path, Position* position, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1").arg(path);
        return false;
    }
    // exiftool's XML of one photo is a few tens of kilobytes.
    if (file.size() > (8 << 20)) {
        *error = QStringLiteral("%1 is too large for an EXIF XML file").arg(path);
        return false;
    }
    return read(file, position, error);
}
