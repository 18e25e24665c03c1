#include "core/annotation/KmlWriter.h"

#include "core/log/LogLine.h"

#include <QBuffer>
#include <QSaveFile>
#include <QStringList>
#include <QXmlStreamWriter>

#include <iostream>

#include "core/io/NumberString.h"
#include "core/io/SaveFileCommit.h"

namespace
{

QString triple(const osg::Vec3d& v)
{
    return KmlWriter::number(v.x()) + QLatin1Char(',') + KmlWriter::number(v.y()) + QLatin1Char(',') +
           KmlWriter::number(v.z());
}

void writePoint(QXmlStreamWriter& xml, const AnnotationRecord& r)
{
    xml.writeStartElement(QStringLiteral("Placemark"));
    xml.writeTextElement(QStringLiteral("name"), r.basket + QLatin1Char(' ') + r.dCode.left(2));
    xml.writeTextElement(QStringLiteral("description"), KmlWriter::pointDescription(r));
    xml.writeStartElement(QStringLiteral("LookAt"));
    xml.writeTextElement(QStringLiteral("longitude"), KmlWriter::number(r.position.x()));
    xml.writeTextElement(QStringLiteral("latitude"), KmlWriter::number(r.position.y()));
    xml.writeTextElement(QStringLiteral("altitude"), KmlWriter::number(r.position.z()));
    xml.writeTextElement(QStringLiteral("range"), QStringLiteral("10"));
    xml.writeTextElement(QStringLiteral("tilt"), QStringLiteral("0"));
    xml.writeTextElement(QStringLiteral("heading"), QStringLiteral("0"));
    xml.writeEndElement();
    xml.writeTextElement(QStringLiteral("styleUrl"), QStringLiteral("#msn_ZA"));
    xml.writeStartElement(QStringLiteral("Point"));
    xml.writeTextElement(QStringLiteral("altitudeMode"), QStringLiteral("absolute"));
    xml.writeTextElement(QStringLiteral("coordinates"), triple(r.position));
    xml.writeEndElement();
    xml.writeEndElement();
}

void writePolygon(QXmlStreamWriter& xml, const AnnotationRecord& r)
{
    xml.writeStartElement(QStringLiteral("Placemark"));
    xml.writeTextElement(QStringLiteral("name"), r.locus);
    xml.writeTextElement(QStringLiteral("description"), KmlWriter::polygonDescription(r));
    xml.writeTextElement(QStringLiteral("styleUrl"), QStringLiteral("#msn_ZA"));
    xml.writeStartElement(QStringLiteral("Polygon"));
    xml.writeTextElement(QStringLiteral("extrude"), QStringLiteral("1"));
    xml.writeTextElement(QStringLiteral("altitudeMode"), QStringLiteral("relativeToGround"));
    xml.writeStartElement(QStringLiteral("outerBoundaryIs"));
    xml.writeStartElement(QStringLiteral("LinearRing"));
    xml.writeTextElement(QStringLiteral("coordinates"), KmlWriter::ringText(r.vertices));
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndElement();
}

} // namespace

QString KmlWriter::number(double value)
{
    return NumberString::shortest(value);
}

QString KmlWriter::pointDescription(const AnnotationRecord& r)
{
    const QStringList lines{QStringLiteral("gid: ") + QString::number(r.id),
                            QStringLiteral("basket: ") + r.basket,
                            QStringLiteral("edm: ") + r.edm,
                            QStringLiteral("d_code: ") + r.dCode,
                            QStringLiteral("locus: ") + r.locus,
                            QStringLiteral("square: ") + r.square,
                            QStringLiteral("area: ") + r.area,
                            QStringLiteral("site: ") + r.site,
                            QStringLiteral("year: ") + r.year,
                            QStringLiteral("the_geom: ") + triple(r.position)};
    return lines.join(QLatin1Char('\n'));
}

QString KmlWriter::polygonDescription(const AnnotationRecord& r)
{
    QStringList lines{QStringLiteral("gid: ") + QString::number(r.id),
                      QStringLiteral("basket: ") + r.basket,
                      QStringLiteral("edm: ") + r.edm,
                      QStringLiteral("d_code: ") + r.dCode,
                      QStringLiteral("locus_desc: ") + r.locusDesc,
                      QStringLiteral("locus: ") + r.locus,
                      QStringLiteral("structure: ") + r.structure,
                      QStringLiteral("square: ") + r.square,
                      QStringLiteral("area: ") + r.area,
                      QStringLiteral("site: ") + r.site,
                      QStringLiteral("year: ") + r.year};
    // Read by this workbench and passed over by earlier ones, which ignore keys they do not know.
    if (r.volume.isSet()) {
        QString method = r.volume.method;
        method.replace(QLatin1Char('\n'), QLatin1Char(' '));
        lines << QStringLiteral("volume_method: ") + method
              << QStringLiteral("volume_cut: ") + number(r.volume.cut)
              << QStringLiteral("volume_fill: ") + number(r.volume.fill)
              << QStringLiteral("volume_net: ") + number(r.volume.net)
              << QStringLiteral("volume_uncertainty: ") + number(r.volume.uncertainty)
              << QStringLiteral("volume_area: ") + number(r.volume.area);
    }
    QString text;
    for (const QString& line : lines)
        text += line + QLatin1Char('\n');
    return text;
}

QString KmlWriter::ringText(const QVector<osg::Vec3d>& vertices)
{
    QStringList parts;
    parts.reserve(vertices.size() + 1);
    for (const osg::Vec3d& v : vertices)
        parts << triple(v);
    if (!vertices.isEmpty())
        parts << triple(vertices.first());
    const QString text = parts.join(QLatin1Char(' '));
    LogLine() << "From getKMLCoords:" << text.toStdString() << std::endl;
    return text;
}

bool KmlWriter::write(QIODevice& device, LayerType::Code type, const QString& layerName,
                      const QVector<AnnotationRecord>& records)
{
    QXmlStreamWriter xml(&device);
    xml.setAutoFormatting(false);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("kml"));
    xml.writeStartElement(QStringLiteral("Document"));
    xml.writeTextElement(QStringLiteral("name"), layerName);
    if (type == LayerType::Polygons) {
        LogLine() << "Write Polygons\n" << std::flush;
        for (const AnnotationRecord& r : records)
            writePolygon(xml, r);
    } else {
        for (const AnnotationRecord& r : records)
            writePoint(xml, r);
    }
    xml.writeEndElement();
    xml.writeEndElement();
    xml.writeEndDocument();
    return !xml.hasError();
}

bool KmlWriter::writeFile(const QString& path, LayerType::Code type, const QString& layerName,
                          const QVector<AnnotationRecord>& records, QString* error)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    if (!write(file, type, layerName, records)) {
        file.cancelWriting();
        if (error)
            *error = file.errorString().isEmpty() ? QStringLiteral("write error") : file.errorString();
        return false;
    }
    return SaveFileCommit::commit(file, error);
}
