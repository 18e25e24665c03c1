#include "core/annotation/KmlReader.h"

#include "common/numbers/NumberText.h"
#include "core/log/LogLine.h"

#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <QXmlStreamReader>

#include <iostream>
#include <limits>

namespace
{

double toNumber(const QString& text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok ? value : 0.0;
}

// The text of a geometry's coordinates element: Point > coordinates, or
// Polygon > outerBoundaryIs > LinearRing > coordinates.
QString readCoordinatesBelow(QXmlStreamReader& xml, const QStringList& path)
{
    QString text;
    if (path.isEmpty())
        return text;
    while (xml.readNextStartElement()) {
        if (xml.name() != path.first()) {
            xml.skipCurrentElement();
        } else if (path.size() == 1) {
            text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        } else {
            text = readCoordinatesBelow(xml, path.mid(1));
        }
    }
    return text;
}

struct Geometry {
    bool hasPoint = false;
    osg::Vec3d point;
    QVector<osg::Vec3d> ring;
};

bool tooDeep(QXmlStreamReader& xml, int depth)
{
    if (depth <= KmlReader::maxNesting)
        return false;
    xml.raiseError(QStringLiteral("elements nested more than %1 deep").arg(KmlReader::maxNesting));
    return true;
}

void readGeometry(QXmlStreamReader& xml, Geometry& g, int depth)
{
    if (tooDeep(xml, depth))
        return;
    if (xml.name() == QLatin1String("Point")) {
        const QString coords = readCoordinatesBelow(xml, {QStringLiteral("coordinates")});
        if (!g.hasPoint && !coords.trimmed().isEmpty()) {
            g.hasPoint = true;
            g.point = KmlReader::parseTuple(coords.trimmed());
        }
    } else if (xml.name() == QLatin1String("Polygon")) {
        const QString coords =
            readCoordinatesBelow(xml, {QStringLiteral("outerBoundaryIs"), QStringLiteral("LinearRing"),
                                       QStringLiteral("coordinates")});
        if (g.ring.isEmpty())
            g.ring = KmlReader::parseRing(coords);
    } else if (xml.name() == QLatin1String("MultiGeometry")) {
        // Real-world files group parts; the first point and first outline count.
        while (xml.readNextStartElement())
            readGeometry(xml, g, depth + 1);
    } else {
        xml.skipCurrentElement();
    }
}

} // namespace

KmlReader::Result KmlReader::readFile(const QString& path, LayerType::Code expected)
{
    LogLine() << "readKml\n" << std::flush;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        Result result;
        result.error = QStringLiteral("Cannot open %1: %2").arg(path, file.errorString());
        return result;
    }
    LogLine() << "Set\n" << std::flush;
    return read(file, expected);
}

KmlReader::Result KmlReader::read(QIODevice& device, LayerType::Code expected)
{
    Result result;
    QXmlStreamReader xml(&device);
    if (!xml.readNextStartElement() || xml.name() != QLatin1String("kml")) {
        result.error = notKmlMessage();
        return result;
    }
    // Our files hold the placemarks in Document; other programs also put them
    // in (nested) Folders or straight under kml.
    readContainer(xml, expected, result, false, 1);
    if (xml.hasError())
        result.error = QStringLiteral("line %1: %2").arg(xml.lineNumber()).arg(xml.errorString());
    if (result.skipped > 0)
        LogLine() << "Placemarks without a usable geometry: " << result.skipped << std::endl;
    return result;
}

void KmlReader::readContainer(QXmlStreamReader& xml, LayerType::Code expected, Result& result,
                              bool printNames, int depth)
{
    if (tooDeep(xml, depth))
        return;
    while (xml.readNextStartElement()) {
        if (printNames)
            LogLine() << xml.name().toString().toStdString() << std::endl;
        if (xml.name() == QLatin1String("Placemark"))
            readPlacemark(xml, expected, result);
        else if (xml.name() == QLatin1String("Document") || xml.name() == QLatin1String("Folder"))
            readContainer(xml, expected, result, true, depth + 1);
        else
            xml.skipCurrentElement();
    }
}

void KmlReader::readPlacemark(QXmlStreamReader& xml, LayerType::Code expected, Result& result)
{
    AnnotationRecord record;
    record.type = QStringLiteral("Polygons");
    Geometry geometry;
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("description"))
            record = parseDescription(xml.readElementText(QXmlStreamReader::IncludeChildElements));
        else if (xml.name() == QLatin1String("Point") || xml.name() == QLatin1String("Polygon") ||
                 xml.name() == QLatin1String("MultiGeometry"))
            readGeometry(xml, geometry, 1);
        else
            xml.skipCurrentElement();
    }
    if (xml.hasError())
        return; // a half-read placemark is not a record
    bool usable = false;
    if (expected == LayerType::Polygons) {
        if (!geometry.ring.isEmpty()) {
            record.vertices = geometry.ring;
            record.type = QStringLiteral("Polygons");
            usable = true;
        }
    } else if (record.type == QLatin1String("Points")) {
        usable = true; // the description's the_geom wins
    } else if (geometry.hasPoint) {
        record.position = geometry.point;
        record.type = QStringLiteral("Points");
        usable = true;
    }
    if (usable)
        result.records.append(record);
    else
        ++result.skipped;
}

namespace
{

// A number this workbench wrote (the shortest round-trip text); anything
// else leaves the value unknown rather than 0, which would be a measurement.
void readVolumeNumber(const QString& key, const QString& value, RecordVolume& volume)
{
    const QByteArray text = value.trimmed().toLatin1();
    double v = std::numeric_limits<double>::quiet_NaN();
    if (!NumberText::read(text.constData(), text.constData() + text.size(), v))
        v = std::numeric_limits<double>::quiet_NaN();
    if (key == QLatin1String("volume_cut"))
        volume.cut = v;
    else if (key == QLatin1String("volume_fill"))
        volume.fill = v;
    else if (key == QLatin1String("volume_net"))
        volume.net = v;
    else if (key == QLatin1String("volume_uncertainty"))
        volume.uncertainty = v;
    else if (key == QLatin1String("volume_area"))
        volume.area = v;
}

} // namespace

AnnotationRecord KmlReader::parseDescription(const QString& text)
{
    AnnotationRecord r;
    r.type = QStringLiteral("Polygons");
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (const QString& line : lines) {
        const int colon = line.indexOf(QLatin1Char(':'));
        if (colon < 0)
            continue;
        const QString key = line.left(colon);
        // The two characters after the key are the colon and its blank,
        // whatever they are; an empty value stays empty.
        const QString value = line.mid(colon).mid(2);
        if (key == QLatin1String("gid"))
            r.id = value.trimmed().toInt();
        else if (key == QLatin1String("basket") || key == QLatin1String("Basket"))
            r.basket = value;
        else if (key == QLatin1String("locus") || key == QLatin1String("Locus"))
            r.locus = value;
        else if (key == QLatin1String("locus_desc"))
            r.locusDesc = value;
        else if (key == QLatin1String("d_code"))
            r.dCode = value;
        else if (key == QLatin1String("edm") || key == QLatin1String("Edm"))
            r.edm = value;
        else if (key == QLatin1String("square") || key == QLatin1String("Square"))
            r.square = value;
        else if (key == QLatin1String("structure") || key == QLatin1String("Structure"))
            r.structure = value;
        else if (key == QLatin1String("date") || key == QLatin1String("Date"))
            r.date = value;
        else if (key == QLatin1String("area") || key == QLatin1String("Area"))
            r.area = value;
        else if (key == QLatin1String("site") || key == QLatin1String("Site"))
            r.site = value;
        else if (key == QLatin1String("year") || key == QLatin1String("Year"))
            r.year = value;
        else if (key == QLatin1String("volume_method"))
            r.volume.method = value;
        else if (key.startsWith(QLatin1String("volume_")))
            readVolumeNumber(key, value, r.volume);
        else if (key == QLatin1String("the_geom")) {
            r.position = parseTuple(value);
            r.type = QStringLiteral("Points");
        }
    }
    return r;
}

osg::Vec3d KmlReader::parseTuple(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    osg::Vec3d v;
    for (int i = 0; i < 3 && i < parts.size(); ++i)
        v[i] = toNumber(parts[i]);
    return v;
}

QVector<osg::Vec3d> KmlReader::parseRing(const QString& text)
{
    // Our writer separates tuples by single blanks; other programs use any
    // white space, line breaks included.
    static const QRegularExpression space(QStringLiteral("\\s+"));
    QStringList tokens = text.split(space, Qt::SkipEmptyParts);
    if (tokens.size() > 1 && parseTuple(tokens.last()) == parseTuple(tokens.first()))
        tokens.removeLast();
    QVector<osg::Vec3d> vertices;
    vertices.reserve(tokens.size());
    for (const QString& token : tokens) {
        const osg::Vec3d v = parseTuple(token);
        LogLine() << NumberText::shortestString(v.x()) << " " << NumberText::shortestString(v.y()) << " "
                  << NumberText::shortestString(v.z()) << "\n";
        vertices.append(v);
    }
    LogLine() << "Total vertices:" << vertices.size() << std::endl;
    return vertices;
}
