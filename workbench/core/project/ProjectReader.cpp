#include "core/project/ProjectReader.h"

#include "core/log/LogLine.h"

#include <QCoreApplication>
#include <QFile>
#include <QXmlStreamReader>

#include <algorithm>
#include <charconv>
#include <cmath>

#include "core/project/ProjectDocument.h"

namespace {

using Node = ProjectDocument::Node;

// Folders nest and so do the section wrappers, but a file nesting elements
// deeper than this is refused rather than followed down to a stack overflow.
constexpr int maxNesting = 200;

bool tooDeep(QXmlStreamReader& xml, int depth)
{
    if (depth <= maxNesting)
        return false;
    xml.raiseError(QCoreApplication::translate("ProjectReader", "Elements nested more than %1 deep.")
                       .arg(maxNesting));
    return true;
}

// The item text an element stands for: its "name" attribute when the writer
// had to replace a text that is no XML name, else the element name less the
// given number of leading characters.
QString itemText(const QXmlStreamReader& xml, int strip)
{
    const QStringRef attr = xml.attributes().value(QLatin1String("name"));
    if (!attr.isNull())
        return attr.toString();
    return xml.name().mid(strip).toString();
}

// Reads element E (the reader stands on its start) whose nodes go into parent.
void readTreeElement(QXmlStreamReader& xml, QVector<Node>& parent, int depth)
{
    if (tooDeep(xml, depth))
        return;
    const QString fullName = itemText(xml, 0);
    const QString shortName = itemText(xml, 2);
    int folderIndex = -1;
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("type")) {
            const QString text = xml.readElementText();
            Node node;
            if (text == QLatin1String("Folder")) {
                node.kind = Node::Folder;
                node.text = fullName;
            } else {
                node.kind = Node::Layer;
                node.text = shortName;
                node.type = LayerType::fromName(text);
            }
            parent.append(node);
        } else {
            if (folderIndex < 0) {
                Node folder;
                folder.kind = Node::Folder;
                folder.text = shortName;
                parent.append(folder);
                folderIndex = parent.size() - 1;
            }
            readTreeElement(xml, parent[folderIndex].children, depth + 1);
        }
    }
}

void readTree(QXmlStreamReader& xml, ProjectDocument& doc)
{
    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("type"))
            xml.skipCurrentElement(); // "Empty"
        else
            readTreeElement(xml, doc.tree, 1);
    }
}

void readLayers(QXmlStreamReader& xml, LayerType::Code type, QVector<ProjectDocument::Layer>& out)
{
    LogLine() << "Reading XML\n";
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1String("item")) {
            xml.skipCurrentElement();
            continue;
        }
        ProjectDocument::Layer layer;
        layer.type = type;
        layer.readXml(xml);
        out.append(layer);
    }
}

void readImages(QXmlStreamReader& xml, ProjectDocument& doc)
{
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1String("image")) {
            xml.skipCurrentElement();
            continue;
        }
        ProjectDocument::Image image;
        while (xml.readNextStartElement()) {
            if (xml.name() == QLatin1String("original_filename"))
                image.originalFilename = xml.readElementText();
            else if (xml.name() == QLatin1String("name_from_list"))
                image.nameFromList = xml.readElementText();
            else
                xml.skipCurrentElement();
        }
        doc.images.append(image);
    }
}

void readSettings(QXmlStreamReader& xml, ScanSettings& s)
{
    struct Text
    {
        const char* name;
        QString* field;
    };
    struct Number
    {
        const char* name;
        double* field;
    };
    const Text texts[] = {{"undistord_method", &s.undistortMethod},
                          {"feature_detector", &s.featureDetector},
                          {"feature_matcher", &s.featureMatcher},
                          {"bundle_adjustment", &s.bundleAdjustment},
                          {"dense_reconstruction", &s.denseReconstruction}};
    const Number numbers[] = {{"fx", &s.fx}, {"fy", &s.fy}, {"cx", &s.cx}, {"cy", &s.cy}, {"r1", &s.r1},
                              {"r2", &s.r2}, {"r3", &s.r3}, {"t1", &s.t1}, {"t2", &s.t2}};
    while (xml.readNextStartElement()) {
        bool used = false;
        for (const Text& t : texts)
            if (xml.name() == QLatin1String(t.name)) {
                *t.field = xml.readElementText();
                used = true;
            }
        for (const Number& n : numbers)
            if (!used && xml.name() == QLatin1String(n.name)) {
                *n.field = xml.readElementText().toDouble(); // not a number gives 0
                used = true;
            }
        if (!used && xml.name() == QLatin1String("display_output")) {
            s.displayOutput = xml.readElementText() == QLatin1String("true");
            used = true;
        }
        if (!used)
            xml.skipCurrentElement();
    }
}

void readBookmarks(QXmlStreamReader& xml, ProjectDocument& doc)
{
    static const char* const names[9] = {"eye_x",    "eye_y",    "eye_z", "centre_x", "centre_y",
                                         "centre_z", "up_x",     "up_y",  "up_z"};
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1String("bookmark")) {
            xml.skipCurrentElement();
            continue;
        }
        ProjectDocument::Bookmark mark{0, 0, 0, 0, 0, 0, 0, 0, 1}; // missing values: origin, z up
        while (xml.readNextStartElement()) {
            bool used = false;
            for (int k = 0; k < 9 && !used; ++k)
                if (xml.name() == QLatin1String(names[k])) {
                    mark[k] = xml.readElementText().toDouble();
                    used = true;
                }
            if (!used)
                xml.skipCurrentElement();
        }
        doc.bookmarks.append(mark);
    }
}

// A number attribute as the writer writes it: the whole text one finite
// number in C notation ("12,5", "nan", "1e999" and a missing one are not).
bool numberAttribute(const QXmlStreamAttributes& attributes, const char* name, double* value, QString* why)
{
    const QStringRef text = attributes.value(QLatin1String(name));
    const QByteArray bytes = text.toLatin1();
    const char* begin = bytes.constData();
    const char* end = begin + bytes.size();
    double v = 0;
    const std::from_chars_result r = std::from_chars(begin, end, v);
    if (text.isNull())
        *why = QStringLiteral("%1 is missing").arg(QLatin1String(name));
    else if (bytes.isEmpty() || r.ec != std::errc() || r.ptr != end || !std::isfinite(v))
        *why = QStringLiteral("%1 \"%2\" is not a number").arg(QLatin1String(name), text.left(40).toString());
    else {
        *value = v;
        return true;
    }
    return false;
}

// One point element; false with the reason it is left out.
bool readControlPoint(QXmlStreamReader& xml, ControlPoint* p, QString* why)
{
    const QXmlStreamAttributes a = xml.attributes();
    bool ok = true;
    auto fail = [&](const QString& reason) {
        if (ok)
            *why = reason;
        ok = false;
    };
    p->name = a.value(QLatin1String("name")).toString();
    const QString nameProblem = ControlPoint::nameProblem(p->name);
    if (!nameProblem.isEmpty())
        fail(nameProblem);
    double xyz[3] = {0, 0, 0};
    for (int k = 0; k < 3 && ok; ++k) {
        QString reason;
        if (!numberAttribute(a, k == 0 ? "x" : k == 1 ? "y" : "z", &xyz[k], &reason))
            fail(reason);
    }
    p->survey.set(xyz[0], xyz[1], xyz[2]);
    const QStringRef use = a.value(QLatin1String("use"));
    if (use == QLatin1String("check"))
        p->check = true;
    else if (!use.isNull() && use != QLatin1String("fit"))
        fail(QStringLiteral("use \"%1\" is neither fit nor check").arg(use.left(40).toString()));

    // The point's own standard deviations: a damaged one gives way to the
    // project's default, the point stays.
    const char* sigmaNames[2] = {"sigma_h", "sigma_v"};
    double* sigmas[2] = {&p->sigmaHorizontal, &p->sigmaVertical};
    for (int k = 0; k < 2; ++k) {
        if (!a.hasAttribute(QLatin1String(sigmaNames[k])))
            continue;
        QString reason;
        double v = 0;
        if (numberAttribute(a, sigmaNames[k], &v, &reason) && AdjustmentDefaults::valid(v))
            *sigmas[k] = v;
        else
            LogLine(LogLevel::Warning)
                << "Ground control point " << p->name.toStdString() << ": " << sigmaNames[k]
                << " is no standard deviation above zero; the default stands\n";
    }

    // The last fit's figures: a damaged one loses the figures, not the point.
    if (a.hasAttribute(QLatin1String("residual"))) {
        ControlPoint figures;
        QString reason;
        double dx = 0, dy = 0, dz = 0;
        bool good = numberAttribute(a, "residual", &figures.residual, &reason) && figures.residual >= 0 &&
                    numberAttribute(a, "dx", &dx, &reason) && numberAttribute(a, "dy", &dy, &reason) &&
                    numberAttribute(a, "dz", &dz, &reason);
        if (good && a.hasAttribute(QLatin1String("pixels")))
            good = numberAttribute(a, "pixels", &figures.pixels, &reason) && figures.pixels >= 0;
        if (good) {
            p->residual = figures.residual;
            p->offset.set(dx, dy, dz);
            p->pixels = figures.pixels;
            p->leftOut = a.value(QLatin1String("left_out")) == QLatin1String("true");
        } else {
            LogLine(LogLevel::Warning)
                << "Ground control point " << p->name.toStdString() << ": fit figures not read: "
                << (reason.isEmpty() ? std::string("a negative residual") : reason.toStdString()) << "\n";
        }
    }

    while (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("observation")) {
            const QXmlStreamAttributes o = xml.attributes();
            ControlObservation seen;
            seen.image = o.value(QLatin1String("image")).toString();
            QString reason;
            const QString imageProblem = ControlPoint::nameProblem(seen.image);
            if (!imageProblem.isEmpty())
                fail(QStringLiteral("an observation's photo: %1").arg(imageProblem));
            else if (!numberAttribute(o, "column", &seen.column, &reason) ||
                     !numberAttribute(o, "row", &seen.row, &reason))
                fail(QStringLiteral("observation in %1: %2").arg(seen.image, reason));
            else if (seen.column < 0 || seen.row < 0)
                fail(QStringLiteral("observation in %1 lies outside the photo").arg(seen.image));
            else
                p->observations.append(seen);
        }
        xml.skipCurrentElement();
    }
    return ok;
}

void readGroundControl(QXmlStreamReader& xml, ProjectDocument& doc)
{
    const QXmlStreamAttributes a = xml.attributes();
    doc.controlSystem = a.value(QLatin1String("system")).toString();
    // Older files have none of these: the defaults stand, as for one that is damaged.
    const char* names[4] = {"control_sigma_h", "control_sigma_v", "gps_sigma_h", "gps_sigma_v"};
    double* values[4] = {&doc.adjustment.controlHorizontal, &doc.adjustment.controlVertical,
                         &doc.adjustment.gpsHorizontal, &doc.adjustment.gpsVertical};
    for (int k = 0; k < 4; ++k) {
        if (!a.hasAttribute(QLatin1String(names[k])))
            continue;
        QString reason;
        double v = 0;
        if (numberAttribute(a, names[k], &v, &reason) && AdjustmentDefaults::valid(v))
            *values[k] = v;
        else {
            doc.problems << QCoreApplication::translate("ProjectReader",
                                                        "Ground control: %1 is no standard deviation above "
                                                        "zero; the default stands")
                                .arg(QLatin1String(names[k]));
            LogLine() << doc.problems.last().toStdString() << "\n";
        }
    }
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1String("point")) {
            xml.skipCurrentElement();
            continue;
        }
        const qint64 line = xml.lineNumber();
        ControlPoint p;
        QString why;
        bool ok = readControlPoint(xml, &p, &why);
        if (ok && std::any_of(doc.controlPoints.begin(), doc.controlPoints.end(),
                              [&](const ControlPoint& q) { return q.name == p.name; })) {
            why = QStringLiteral("another point has the same name");
            ok = false;
        }
        if (xml.hasError())
            return;
        if (ok) {
            doc.controlPoints.append(p);
            continue;
        }
        const QString name = ControlPoint::cleanName(p.name);
        doc.problems << QCoreApplication::translate("ProjectReader",
                                                    "Ground control point %1 (line %2) left out: %3")
                            .arg(name.isEmpty() ? QStringLiteral("without a name") : name)
                            .arg(line)
                            .arg(why);
        LogLine() << doc.problems.last().toStdString() << "\n";
    }
}

// The children of prj, and of the "geometry" and "cameras" wrappers.
void readSections(QXmlStreamReader& xml, ProjectDocument& doc, int depth)
{
    if (tooDeep(xml, depth))
        return;
    while (xml.readNextStartElement()) {
        const QString name = xml.name().toString();
        LogLine() << name.toStdString() << "\n";
        const LayerType::Code section = ProjectDocument::sectionType(name);
        if (name == QLatin1String("project"))
            readTree(xml, doc);
        else if (section != LayerType::None)
            readLayers(xml, section, doc.layers[section]);
        else if (name == QLatin1String("images"))
            readImages(xml, doc);
        else if (name == QLatin1String("scan_settings"))
            readSettings(xml, doc.settings);
        else if (name == QLatin1String("bookmarks"))
            readBookmarks(xml, doc);
        else if (name == QLatin1String("ground_control"))
            readGroundControl(xml, doc);
        else if (name == QLatin1String("geometry") || name == QLatin1String("cameras"))
            readSections(xml, doc, depth + 1);
        else
            xml.skipCurrentElement();
    }
}

} // namespace

bool ProjectReader::read(QIODevice& device, ProjectDocument& doc, QString* errorText)
{
    QXmlStreamReader xml(&device);
    if (xml.readNextStartElement()) {
        if (xml.name() == QLatin1String("prj")
            && xml.attributes().value(QLatin1String("version")) == QLatin1String("1.0"))
            readSections(xml, doc, 1);
        else
            xml.raiseError(QCoreApplication::translate("ProjectReader", "The file is not a PRJ version 1.0 file."));
    }
    // A truncated file ends in a premature-end error: it counts as failed too.
    if (xml.hasError()) {
        if (errorText)
            *errorText = QCoreApplication::translate("ProjectReader", "%1 (line %2, column %3)")
                             .arg(xml.errorString())
                             .arg(xml.lineNumber())
                             .arg(xml.columnNumber());
        return false;
    }
    return true;
}

bool ProjectReader::readFile(const QString& fileName, ProjectDocument& doc, QString* errorText)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        if (errorText)
            *errorText = file.errorString();
        return false;
    }
    return read(file, doc, errorText);
}
