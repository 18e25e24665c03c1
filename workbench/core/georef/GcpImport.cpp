#include "core/georef/GcpImport.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <cmath>

#include "core/formats/NvmReader.h"
#include "core/formats/SparseBundle.h"
#include "core/georef/GcpFile.h"

namespace
{

QString fileNameOf(const QString& path)
{
    return path.mid(std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\'))) + 1);
}

bool seenIn(const ControlPoint& p, const QString& image)
{
    return std::any_of(p.observations.begin(), p.observations.end(), [&](const ControlObservation& o) {
        return fileNameOf(o.image).compare(fileNameOf(image), Qt::CaseInsensitive) == 0;
    });
}

} // namespace

bool GcpImport::toControlPoints(const GcpFile& gcp, const QString& fileName, const SparseBundle& bundle,
                                QVector<ControlPoint>* points, QString* error, QStringList* warnings)
{
    QSet<QString> photos;
    for (const SparseBundle::CameraList& cameras : bundle.bundleCameras)
        for (const auto& camera : cameras)
            photos.insert(fileNameOf(QString::fromStdString(camera->name)).toLower());
    QVector<ControlPoint> out;
    QStringList notes;
    int kept = 0;
    for (const GcpFile::Observation& o : gcp.observations) {
        const QString at = QStringLiteral("%1 line %2: ").arg(fileName).arg(o.line);
        auto point =
            std::find_if(out.begin(), out.end(), [&](const ControlPoint& p) { return p.name == o.name; });
        if (point == out.end()) {
            ControlPoint p;
            p.name = o.name;
            p.survey.set(o.x, o.y, o.z);
            out.append(p);
            point = out.end() - 1;
        } else if (point->survey != osg::Vec3d(o.x, o.y, o.z)) {
            *error = at + QStringLiteral("point %1 has another position on an earlier line").arg(o.name);
            return false;
        }
        // The standard deviations may be given on any of a point's lines, the same each time.
        const double given[2] = {o.sigmaHorizontal, o.sigmaVertical};
        double* own[2] = {&point->sigmaHorizontal, &point->sigmaVertical};
        for (int k = 0; k < 2; ++k) {
            if (!std::isfinite(given[k]))
                continue;
            if (std::isfinite(*own[k]) && *own[k] != given[k]) {
                *error =
                    at + QStringLiteral("point %1 has another %2 standard deviation on an earlier line")
                             .arg(o.name, k == 0 ? QStringLiteral("horizontal") : QStringLiteral("vertical"));
                return false;
            }
            *own[k] = given[k];
        }
        // One photo the reconstruction lacks (left out of the run, renamed)
        // costs its observation, not the file.
        if (!photos.contains(fileNameOf(o.image).toLower())) {
            notes << at + QStringLiteral(
                              "photo %1 is not in the reconstruction: this observation of %2 is left out")
                              .arg(o.image, o.name);
            continue;
        }
        point->observations.append({fileNameOf(o.image), o.column, o.row});
        ++kept;
    }
    if (out.isEmpty()) {
        *error = QStringLiteral("%1: no observations").arg(fileName);
        return false;
    }
    if (kept == 0) {
        *error = QStringLiteral("%1: none of its photos is in the reconstruction").arg(fileName);
        return false;
    }
    for (const ControlPoint& p : out)
        if (p.observations.size() < 2)
            notes << QStringLiteral(
                         "%1: point %2 is seen in %3 photo(s) of the reconstruction; the fit needs two: "
                         "pick it in another photo")
                         .arg(fileName, p.name)
                         .arg(p.observations.size());
    *points = out;
    if (warnings)
        *warnings << notes;
    return true;
}

bool GcpImport::importFile(const QString& path, const SparseBundle& bundle, QVector<ControlPoint>* points,
                           QString* system, QString* error, QStringList* warnings)
{
    GcpFile gcp;
    if (!GcpFile::readFile(path, &gcp, error))
        return false;
    if (!toControlPoints(gcp, path, bundle, points, error, warnings))
        return false;
    if (system)
        *system = gcp.system;
    return true;
}

bool GcpImport::importFile(const QString& path, const QString& nvmFile, QVector<ControlPoint>* points,
                           QString* system, QString* error, QStringList* warnings)
{
    SparseBundle bundle;
    QString message;
    if (!NvmReader::readBundle(nvmFile, bundle, &message)) {
        *error = message;
        return false;
    }
    return importFile(path, bundle, points, system, error, warnings);
}

QVector<ControlPoint> GcpImport::merge(const QVector<ControlPoint>& table, const QVector<ControlPoint>& file,
                                       MergeReport* report)
{
    QHash<QString, int> inFile;
    for (int i = 0; i < file.size(); ++i)
        inFile.insert(file[i].name, i);
    QSet<QString> inTable;
    QVector<ControlPoint> out;
    for (ControlPoint p : table) {
        inTable.insert(p.name);
        const auto found = inFile.constFind(p.name);
        if (found == inFile.constEnd()) {
            report->kept << p.name;
            out.append(p);
            continue;
        }
        const ControlPoint& from = file[*found];
        bool changed = p.survey != from.survey;
        p.survey = from.survey;
        // The file's deviations where it gives them; the table's stay otherwise.
        if (std::isfinite(from.sigmaHorizontal) && !(p.sigmaHorizontal == from.sigmaHorizontal)) {
            p.sigmaHorizontal = from.sigmaHorizontal;
            changed = true;
        }
        if (std::isfinite(from.sigmaVertical) && !(p.sigmaVertical == from.sigmaVertical)) {
            p.sigmaVertical = from.sigmaVertical;
            changed = true;
        }
        for (const ControlObservation& o : from.observations)
            if (!seenIn(p, o.image)) {
                p.observations.append(o);
                ++report->observationsAdded;
                changed = true;
            }
        if (changed)
            p.clearFit();
        report->updated << p.name;
        out.append(p);
    }
    for (const ControlPoint& p : file)
        if (!inTable.contains(p.name)) {
            ControlPoint added = p;
            added.clearFit();
            report->observationsAdded += added.observations.size();
            report->added << p.name;
            out.append(added);
        }
    return out;
}
