#include "core/project/ProjectWriter.h"

#include <QSaveFile>
#include <QXmlStreamWriter>

#include <cmath>

#include "core/io/NumberString.h"
#include "core/project/ProjectDocument.h"
#include "core/io/SaveFileCommit.h"

namespace {

// The reader checks names against the fixed letter tables of XML 1.0, which
// differ from today's Unicode letters (U+0587 is one, U+00AA is not); a name
// it refuses would make the whole project unreadable. So only the letters of
// Latin-1 that both agree on make names, and any other text keeps its exact
// form in the "name" attribute.
bool isNameLetter(QChar c)
{
    const ushort u = c.unicode();
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= 0xC0 && u <= 0xFF && u != 0xD7 && u != 0xF7);
}
bool isNameStart(QChar c)
{
    return isNameLetter(c) || c == QLatin1Char('_') || c == QLatin1Char(':');
}
bool isNameChar(QChar c)
{
    const ushort u = c.unicode();
    return isNameStart(c) || (u >= '0' && u <= '9') || c == QLatin1Char('-') || c == QLatin1Char('.');
}

void writeNode(QXmlStreamWriter& xml, const ProjectDocument::Node& node)
{
    bool needsAttribute = false;
    const bool asContainer = node.kind == ProjectDocument::Node::Layer || !node.children.isEmpty();
    xml.writeStartElement(ProjectWriter::elementName(asContainer ? QStringLiteral("f_") : QString(), node.text,
                                                     &needsAttribute));
    // Texts that are no XML names keep their exact text in an attribute; the
    // element name is then only a readable stand-in.
    if (needsAttribute)
        xml.writeAttribute(QStringLiteral("name"), node.text);
    if (node.kind == ProjectDocument::Node::Layer) {
        xml.writeTextElement(QStringLiteral("type"), LayerType::name(node.type));
    } else if (node.children.isEmpty()) {
        xml.writeTextElement(QStringLiteral("type"), QStringLiteral("Folder"));
    } else {
        for (const ProjectDocument::Node& child : node.children)
            writeNode(xml, child);
    }
    xml.writeEndElement();
}

// The file's fixed layouts wherever their digits give the value back; more
// digits only where they do not (a bookmark's eye at UTM coordinates, a
// distortion term with seven significant digits).
QString fixed5(double v)
{
    return NumberString::keepOrShortest(v, 'f', 5);
}
QString general6(double v)
{
    return NumberString::keepOrShortest(v, 'g', 6);
}

} // namespace

QString ProjectWriter::elementName(const QString& prefix, const QString& text, bool* needsAttribute)
{
    const QString name = prefix + text;
    bool valid = !name.isEmpty() && isNameStart(name.at(0));
    for (int i = 1; valid && i < name.size(); ++i)
        valid = isNameChar(name.at(i));
    if (!name.isEmpty() && name.contains(QLatin1Char(':')))
        valid = false; // would read as a namespace prefix
    *needsAttribute = !valid;
    if (valid)
        return name;
    QString safe = name;
    for (QChar& c : safe)
        if (!isNameChar(c) || c == QLatin1Char(':'))
            c = QLatin1Char('_');
    if (safe.isEmpty() || !isNameStart(safe.at(0)))
        safe.prepend(QLatin1Char('_'));
    return safe;
}

bool ProjectWriter::write(QIODevice& device, const ProjectDocument& doc)
{
    if (!device.isWritable())
        return false;
    QXmlStreamWriter xml(&device);
    xml.setAutoFormatting(false);
    xml.writeStartDocument();
    xml.writeDTD(QStringLiteral("<!DOCTYPE prj>"));
    xml.writeStartElement(QStringLiteral("prj"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.0"));

    xml.writeStartElement(QStringLiteral("project"));
    if (doc.tree.isEmpty())
        xml.writeTextElement(QStringLiteral("type"), QStringLiteral("Empty"));
    for (const ProjectDocument::Node& node : doc.tree)
        writeNode(xml, node);
    xml.writeEndElement();

    for (LayerType::Code type : LayerType::all()) {
        const QVector<ProjectDocument::Layer>& layers = doc.layers[type];
        if (layers.isEmpty())
            continue;
        xml.writeStartElement(ProjectDocument::sectionName(type));
        for (const ProjectDocument::Layer& layer : layers)
            layer.writeXml(xml);
        xml.writeEndElement();
    }

    if (!doc.images.isEmpty()) {
        xml.writeStartElement(QStringLiteral("images"));
        for (const ProjectDocument::Image& image : doc.images) {
            xml.writeStartElement(QStringLiteral("image"));
            xml.writeTextElement(QStringLiteral("original_filename"), image.originalFilename);
            xml.writeTextElement(QStringLiteral("name_from_list"), image.nameFromList);
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }

    const ScanSettings& s = doc.settings;
    xml.writeStartElement(QStringLiteral("scan_settings"));
    xml.writeTextElement(QStringLiteral("undistord_method"), s.undistortMethod);
    xml.writeTextElement(QStringLiteral("feature_detector"), s.featureDetector);
    xml.writeTextElement(QStringLiteral("feature_matcher"), s.featureMatcher);
    xml.writeTextElement(QStringLiteral("bundle_adjustment"), s.bundleAdjustment);
    xml.writeTextElement(QStringLiteral("dense_reconstruction"), s.denseReconstruction);
    xml.writeTextElement(QStringLiteral("display_output"), s.displayOutput ? "true" : "false");
    xml.writeTextElement(QStringLiteral("fx"), fixed5(s.fx));
    xml.writeTextElement(QStringLiteral("fy"), fixed5(s.fy));
    xml.writeTextElement(QStringLiteral("cx"), fixed5(s.cx));
    xml.writeTextElement(QStringLiteral("cy"), fixed5(s.cy));
    xml.writeTextElement(QStringLiteral("r1"), general6(s.r1));
    xml.writeTextElement(QStringLiteral("r2"), general6(s.r2));
    xml.writeTextElement(QStringLiteral("r3"), general6(s.r3));
    xml.writeTextElement(QStringLiteral("t1"), general6(s.t1));
    xml.writeTextElement(QStringLiteral("t2"), general6(s.t2));
    xml.writeEndElement();

    if (!doc.bookmarks.isEmpty()) {
        static const char* const names[9] = {"eye_x",    "eye_y",    "eye_z", "centre_x", "centre_y",
                                             "centre_z", "up_x",     "up_y",  "up_z"};
        xml.writeStartElement(QStringLiteral("bookmarks"));
        for (int i = 0; i < doc.bookmarks.size(); ++i) {
            xml.writeStartElement(QStringLiteral("bookmark"));
            xml.writeAttribute(QStringLiteral("index"), QString::number(i));
            for (int k = 0; k < 9; ++k)
                xml.writeTextElement(QLatin1String(names[k]), fixed5(doc.bookmarks[i][k]));
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }

    if (!doc.controlPoints.isEmpty() || !doc.controlSystem.isEmpty() ||
        doc.adjustment != AdjustmentDefaults()) {
        xml.writeStartElement(QStringLiteral("ground_control"));
        xml.writeAttribute(QStringLiteral("system"), doc.controlSystem);
        xml.writeAttribute(QStringLiteral("control_sigma_h"),
                           NumberString::shortest(doc.adjustment.controlHorizontal));
        xml.writeAttribute(QStringLiteral("control_sigma_v"),
                           NumberString::shortest(doc.adjustment.controlVertical));
        xml.writeAttribute(QStringLiteral("gps_sigma_h"), NumberString::shortest(doc.adjustment.gpsHorizontal));
        xml.writeAttribute(QStringLiteral("gps_sigma_v"), NumberString::shortest(doc.adjustment.gpsVertical));
        for (const ControlPoint& p : doc.controlPoints) {
            xml.writeStartElement(QStringLiteral("point"));
            xml.writeAttribute(QStringLiteral("name"), p.name);
            xml.writeAttribute(QStringLiteral("x"), NumberString::shortest(p.survey.x()));
            xml.writeAttribute(QStringLiteral("y"), NumberString::shortest(p.survey.y()));
            xml.writeAttribute(QStringLiteral("z"), NumberString::shortest(p.survey.z()));
            xml.writeAttribute(QStringLiteral("use"), p.check ? QStringLiteral("check") : QStringLiteral("fit"));
            if (std::isfinite(p.sigmaHorizontal))
                xml.writeAttribute(QStringLiteral("sigma_h"), NumberString::shortest(p.sigmaHorizontal));
            if (std::isfinite(p.sigmaVertical))
                xml.writeAttribute(QStringLiteral("sigma_v"), NumberString::shortest(p.sigmaVertical));
            // The last fit's figures, as the dock shows them; readers that
            // know none of them pass over them.
            if (p.hasFit()) {
                xml.writeAttribute(QStringLiteral("residual"), NumberString::shortest(p.residual));
                xml.writeAttribute(QStringLiteral("dx"), NumberString::shortest(p.offset.x()));
                xml.writeAttribute(QStringLiteral("dy"), NumberString::shortest(p.offset.y()));
                xml.writeAttribute(QStringLiteral("dz"), NumberString::shortest(p.offset.z()));
                if (std::isfinite(p.pixels))
                    xml.writeAttribute(QStringLiteral("pixels"), NumberString::shortest(p.pixels));
                if (p.leftOut)
                    xml.writeAttribute(QStringLiteral("left_out"), QStringLiteral("true"));
            }
            for (const ControlObservation& o : p.observations) {
                xml.writeEmptyElement(QStringLiteral("observation"));
                xml.writeAttribute(QStringLiteral("image"), o.image);
                xml.writeAttribute(QStringLiteral("column"), NumberString::shortest(o.column));
                xml.writeAttribute(QStringLiteral("row"), NumberString::shortest(o.row));
            }
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }

    xml.writeEndDocument();
    return !xml.hasError();
}

bool ProjectWriter::writeFile(const QString& fileName, const ProjectDocument& doc, QString* errorText)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        if (errorText)
            *errorText = file.errorString();
        return false;
    }
    if (!write(file, doc)) {
        if (errorText)
            *errorText = file.errorString();
        file.cancelWriting();
        return false;
    }
    return SaveFileCommit::commit(file, errorText);
}
