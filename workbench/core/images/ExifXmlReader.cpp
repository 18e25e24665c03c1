#include "core/images/ExifXmlReader.h"

#include "common/images/ExifFocal.h"

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
    // The tools' rule, so that the report's EXIF focal length is the one the
    // reconstruction started from.
    const std::map<std::string, std::string> tags = {
        {"FocalLength", values.focalLength.toStdString()},
        {"FocalPlaneXResolution", values.focalPlaneXResolution.toStdString()},
        {"FocalPlaneResolutionUnit", values.focalPlaneResolutionUnit.trimmed().toStdString()},
        {"ExifImageWidth", values.imageWidth.toStdString()},
        {"ExifImageHeight", values.imageHeight.toStdString()},
        {"FocalLengthIn35mmFormat", values.focalLength35.toStdString()},
    };
    std::string used;
    const double f = ExifFocal::fromValues(tags, width, height, &used);
    if (f > 0 && source)
        *source = QString::fromStdString(used);
    return f;
}
