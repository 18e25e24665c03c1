#include "core/georef/GcpImport.h"

#include <QFile>
#include <QSet>

#include <algorithm>

#include "core/formats/NvmReader.h"
#include "core/formats/SparseBundle.h"
#include "core/georef/GcpFile.h"

namespace
{

QString fileNameOf(const QString& path)
{
    return path.mid(std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\'))) + 1);
}

} // namespace

bool GcpImport::toControlPoints(const GcpFile& gcp, const QString& fileName, const SparseBundle& bundle,
                                QVector<ControlPoint>* points, QString* error)
{
    QSet<QString> photos;
    for (const SparseBundle::CameraList& cameras : bundle.bundleCameras)
        for (const auto& camera : cameras)
            photos.insert(fileNameOf(QString::fromStdString(camera->name)).toLower());
    QVector<ControlPoint> out;
    for (const GcpFile::Observation& o : gcp.observations) {
        auto fail = [&](const QString& why) {
            *error = QStringLiteral("%1 line %2: %3").arg(fileName).arg(o.line).arg(why);
            return false;
        };
        if (!photos.contains(fileNameOf(o.image).toLower()))
            return fail(QStringLiteral("photo %1 is not in the reconstruction").arg(o.image));
        auto point = std::find_if(out.begin(), out.end(), [&](const ControlPoint& p) { return p.name == o.name; });
        if (point == out.end()) {
            ControlPoint p;
            p.name = o.name;
            p.survey.set(o.x, o.y, o.z);
            out.append(p);
            point = out.end() - 1;
        } else if (point->survey != osg::Vec3d(o.x, o.y, o.z)) {
            return fail(QStringLiteral("point %1 has another position on an earlier line").arg(o.name));
        }
        point->observations.append({fileNameOf(o.image), o.column, o.row});
    }
    if (out.isEmpty()) {
        *error = QStringLiteral("%1: no observations").arg(fileName);
        return false;
    }
    *points = out;
    return true;
}

bool GcpImport::importFile(const QString& path, const SparseBundle& bundle, QVector<ControlPoint>* points,
                           QString* system, QString* error)
{
    GcpFile gcp;
    if (!GcpFile::readFile(path, &gcp, error))
        return false;
    if (!toControlPoints(gcp, path, bundle, points, error))
        return false;
    if (system)
        *system = gcp.system;
    return true;
}

bool GcpImport::importFile(const QString& path, const QString& nvmFile, QVector<ControlPoint>* points,
                           QString* system, QString* error)
{
    NvmReader::VertexArrays vertices;
    NvmReader::ColourArrays colours;
    SparseBundle bundle;
    std::string folder, message;
    if (!NvmReader::readNvm(QFile::encodeName(nvmFile).toStdString(), vertices, colours, bundle, folder, &message)) {
        *error = QString::fromStdString(message);
        return false;
    }
    return importFile(path, bundle, points, system, error);
}
