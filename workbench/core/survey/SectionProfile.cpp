#include "core/survey/SectionProfile.h"

#include <QFile>
#include <QSaveFile>

#include <ogrsf_frmts.h>

#include <algorithm>

#include "core/io/NumberString.h"
#include "core/io/SaveFileCommit.h"
#include "core/survey/ElevationGrid.h"
#include "core/survey/GdalScope.h"
#include "core/survey/VectorFile.h"

namespace
{

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

QByteArray num(double v)
{
    return NumberString::shortest(v).toLatin1();
}

// DXF layer names take letters, digits, "-" and "_".
QByteArray layerName(const QString& prefix, const QString& name)
{
    QString text = prefix + name;
    for (QChar& c : text)
        if (!c.isLetterOrNumber() && c != QLatin1Char('-') && c != QLatin1Char('_'))
            c = QLatin1Char('_');
    return text.toUtf8();
}

bool addFeature(OGRLayer* layer, const QByteArray& name, OGRGeometry* geometry, QString* error)
{
    OGRFeature feature(layer->GetLayerDefn());
    feature.SetField("Layer", name.constData());
    feature.SetGeometryDirectly(geometry);
    if (layer->CreateFeature(&feature) != OGRERR_NONE)
        return fail(error, QStringLiteral("cannot write a drawing entity: ") + GdalScope::reason());
    return true;
}

} // namespace

bool SectionProfile::checkLine(const QPointF& start, const QPointF& end, double width, QString* error)
{
    const double length = std::hypot(end.x() - start.x(), end.y() - start.y());
    if (!std::isfinite(length) || length < minLength)
        return fail(error,
                    QStringLiteral("The section's two picks lie at one place: pick its start and its end "
                                   "apart."));
    if (!std::isfinite(width) || width < 0)
        return fail(error, QStringLiteral("The corridor's width must be zero or more metres."));
    return true;
}

SectionProfile::Line SectionProfile::sample(const ElevationGrid& grid, const QPointF& start,
                                            const QPointF& end, const QString& name, double step)
{
    Line line;
    line.name = name;
    const double length = std::hypot(end.x() - start.x(), end.y() - start.y());
    if (!(step > 0))
        step = std::min(grid.cellX, grid.cellY);
    if (!(length > 0) || !(step > 0))
        return line;
    const int n = int(std::ceil(length / step));
    line.samples.reserve(n + 1);
    for (int i = 0; i <= n; ++i) {
        const double d = std::min(length, i * step), t = d / length;
        Sample s;
        s.distance = d;
        s.x = start.x() + t * (end.x() - start.x());
        s.y = start.y() + t * (end.y() - start.y());
        s.z = grid.heightAt(s.x, s.y);
        line.samples.push_back(s);
    }
    return line;
}

QVector<SectionProfile::CloudPoint> SectionProfile::corridor(const double* xyz, size_t points,
                                                             const double origin[3], const QPointF& start,
                                                             const QPointF& end, double width)
{
    QVector<CloudPoint> out;
    const double dx = end.x() - start.x(), dy = end.y() - start.y(), length = std::hypot(dx, dy);
    if (!(length > 0))
        return out;
    const double ux = dx / length, uy = dy / length, half = width / 2;
    for (size_t i = 0; i < points; ++i) {
        const double x = xyz[i * 3] + origin[0], y = xyz[i * 3 + 1] + origin[1];
        const double px = x - start.x(), py = y - start.y();
        const double along = px * ux + py * uy, across = -px * uy + py * ux;
        if (along < 0 || along > length || std::fabs(across) > half)
            continue;
        out.push_back({along, across, x, y, xyz[i * 3 + 2] + origin[2]});
    }
    std::sort(out.begin(), out.end(),
              [](const CloudPoint& a, const CloudPoint& b) { return a.distance < b.distance; });
    return out;
}

bool SectionProfile::writeCsv(const QString& path, QString* error) const
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(error, path + QStringLiteral(": ") + file.errorString());
    file.write("source,distance,offset,x,y,z\n");
    for (const Line& line : lines) {
        const QByteArray name = line.name.toUtf8().replace(',', ' ');
        for (const Sample& s : line.samples)
            if (!std::isnan(s.z))
                file.write(name + ',' + num(s.distance) + ",0," + num(s.x) + ',' + num(s.y) + ',' + num(s.z) +
                           '\n');
    }
    for (const CloudPoint& p : cloud)
        file.write("cloud," + num(p.distance) + ',' + num(p.offset) + ',' + num(p.x) + ',' + num(p.y) + ',' +
                   num(p.z) + '\n');
    return SaveFileCommit::commit(file, error);
}

bool SectionProfile::writeDxf(const QString& path, QString* error) const
{
    GdalScope scope;
    VectorFile out;
    if (!out.create(path, "DXF", error))
        return false;
    OGRLayer* layer = out.addLayer("entities", wkbUnknown, nullptr, error);
    if (!layer)
        return false;
    for (const Line& line : lines) {
        // A gap in the model breaks the line: each run of heights is a polyline.
        const QByteArray survey = layerName(QStringLiteral("SECTION_"), line.name);
        const QByteArray paper = layerName(QStringLiteral("ELEVATION_"), line.name);
        auto* atSite = new OGRLineString;
        auto* onPaper = new OGRLineString;
        const auto flush = [&]() {
            bool ok = true;
            if (atSite->getNumPoints() >= 2) {
                ok = addFeature(layer, survey, atSite, error) && addFeature(layer, paper, onPaper, error);
            } else {
                delete atSite;
                delete onPaper;
            }
            atSite = new OGRLineString;
            onPaper = new OGRLineString;
            return ok;
        };
        for (const Sample& s : line.samples) {
            if (std::isnan(s.z)) {
                if (!flush())
                    return false;
                continue;
            }
            atSite->addPoint(s.x, s.y, s.z);
            onPaper->addPoint(s.distance, s.z, 0);
        }
        const bool ok = flush();
        delete atSite;
        delete onPaper;
        if (!ok)
            return false;
    }
    for (const CloudPoint& p : cloud)
        if (!addFeature(layer, "CLOUD", new OGRPoint(p.x, p.y, p.z), error) ||
            !addFeature(layer, "ELEVATION_CLOUD", new OGRPoint(p.distance, p.z, 0), error))
            return false;
    return out.commit(error);
}
