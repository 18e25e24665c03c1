#include "core/images/ExifXmlReader.h"

#include <QFile>
#include <QSet>
#include <QXmlStreamReader>

#include <algorithm>
#include <cmath>

namespace
{

QString* field(ExifXmlReader::Values& v, QStringView name)
{
    if (name == QLatin1String("FileSize"))
        return &v.fileSize;
    if (name == QLatin1String("FileCreateDate"))
        return &v.fileCreateDate;
    if (name == QLatin1String("Make"))
        return &v.make;
    if (name == QLatin1String("Model"))
        return &v.model;
    if (name == QLatin1String("ExposureTime"))
        return &v.exposureTime;
    if (name == QLatin1String("FNumber"))
        return &v.fNumber;
    if (name == QLatin1String("FocalLength"))
        return &v.focalLength;
    if (name == QLatin1String("FocalLengthIn35mmFormat"))
        return &v.focalLength35;
    if (name == QLatin1String("FocalPlaneXResolution"))
        return &v.focalPlaneXResolution;
    if (name == QLatin1String("FocalPlaneResolutionUnit"))
        return &v.focalPlaneResolutionUnit;
    if (name == QLatin1String("ExifImageWidth"))
        return &v.imageWidth;
    if (name == QLatin1String("ExifImageHeight"))
        return &v.imageHeight;
    return nullptr;
}

// The leading number of a value such as "8.8 mm" or "24.0 mm"; 0 when there is none.
double leadingNumber(const QString& text)
{
    const QString t = text.trimmed();
    int end = 0;
    while (end < t.size() &&
           (t.at(end).isDigit() || t.at(end) == QLatin1Char('.') || t.at(end) == QLatin1Char('e') ||
            t.at(end) == QLatin1Char('E') || t.at(end) == QLatin1Char('+') || t.at(end) == QLatin1Char('-')))
        ++end;
    bool ok = false;
    const double v = t.left(end).toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0;
}

double millimetresPerUnit(const QString& unit)
{
    const QString u = unit.trimmed();
    if (u == QLatin1String("inches"))
        return 25.4;
    if (u == QLatin1String("cm"))
        return 10;
    if (u == QLatin1String("mm"))
        return 1;
    if (u == QLatin1String("um"))
        return 0.001;
    return 0;
}

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

bool ExifXmlReader::read(QIODevice& device, Values& values, QString* error)
{
    QXmlStreamReader xml(&device);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("RDF"))
        return fail(error, xml.hasError() ? xml.errorString() : notExifMessage());
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("Description"))
        return fail(error, xml.hasError() ? xml.errorString() : notExifMessage());
    // The camera's maker notes follow the EXIF block and repeat some names
    // with values of their own (Kodak's 1/444 s for an EXIF 1/400 s): the
    // first value of a name is the one that counts. Values are taken as they
    // come, so what precedes a break in the file is kept.
    QSet<QString*> taken;
    while (xml.readNextStartElement()) {
        QString* target = field(values, xml.name());
        if (target && !taken.contains(target)) {
            *target = xml.readElementText(QXmlStreamReader::SkipChildElements);
            taken.insert(target);
        } else {
            xml.skipCurrentElement();
        }
    }
    if (xml.hasError())
        return fail(error, QStringLiteral("%1 (line %2)").arg(xml.errorString()).arg(xml.lineNumber()));
    return true;
}

bool ExifXmlReader::readFile(const QString& path, Values& values, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return fail(error, QStringLiteral("Cannot open %1: %2").arg(path, file.errorString()));
    return read(file, values, error);
}

double ExifXmlReader::focalPixels(const Values& values, int width, int height, QString* source)
{
    if (width <= 0 || height <= 0)
        return 0;
    const double side = std::max(width, height);
    const auto plausible = [&](double f) { return std::isfinite(f) && f >= 0.1 * side && f <= 100 * side; };
    const double focal = leadingNumber(values.focalLength);
    const double resolution = leadingNumber(values.focalPlaneXResolution);
    const double unit = millimetresPerUnit(values.focalPlaneResolutionUnit);
    if (focal > 0 && resolution > 0 && unit > 0) {
        // The resolution is of the stored image; the photo may be a smaller
        // copy (the longer sides compared, whatever the orientation).
        const double stored = std::max(leadingNumber(values.imageWidth), leadingNumber(values.imageHeight));
        const double f = focal * resolution / unit * (stored > 0 ? side / stored : 1.0);
        if (plausible(f)) {
            if (source)
                *source = QStringLiteral("focal length and focal plane resolution");
            return f;
        }
    }
    const double equivalent = leadingNumber(values.focalLength35);
    if (equivalent > 0) {
        const double f = equivalent * std::hypot(double(width), double(height)) / std::hypot(36.0, 24.0);
        if (plausible(f)) {
            if (source)
                *source = QStringLiteral("35 mm equivalent focal length");
            return f;
        }
    }
    return 0;
}
