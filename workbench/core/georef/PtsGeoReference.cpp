#include "core/georef/PtsGeoReference.h"

#include "core/formats/PlyWriter.h"
#include "core/formats/PointShift.h"
#include "core/georef/GeoReference.h"
#include "core/log/LogLine.h"

#include <QFileInfo>

QString PtsGeoReference::registeredFileName(const QString& ptsFileName)
{
    return ptsFileName.left(qMax(0, ptsFileName.size() - 4)) + QStringLiteral("_reg.ply");
}

PtsGeoReference::Outcome PtsGeoReference::apply(const QString& ptsFileName, osg::Vec3Array& vertices,
                                                const osg::Vec4Array& colours, PointShift* shift)
{
    const QString companion = GeoReference::companionFileName(ptsFileName);
    LogLine() << companion.toStdString() << "\n";
    if (!QFileInfo::exists(companion))
        return Outcome::NoCompanion;

    GeoReference geo;
    if (!GeoReference::read(companion, geo)) {
        // A copy named "_reg" that was never registered would stand in the way
        // of the real one for good, so nothing is written.
        LogLine(LogLevel::Warning) << "Georeference not applied: " << companion.toStdString() << "\n";
        return Outcome::Unusable;
    }

    const osg::Matrixd& r = geo.rotation;
    const osg::Vec3d& t = geo.translation;
    const double s = geo.scale.x();
    const osg::Vec3d readOffset = shift ? shift->offset() : osg::Vec3d();
    if (shift)
        shift->restart();
    for (osg::Vec3& v : vertices) {
        const double x = readOffset.x() + v.x(), y = readOffset.y() + v.y(), z = readOffset.z() + v.z();
        const osg::Vec3d placed(t.x() + s * (r(0, 0) * x + r(0, 1) * y + r(0, 2) * z),
                                t.y() + s * (r(1, 0) * x + r(1, 1) * y + r(1, 2) * z),
                                t.z() + s * (r(2, 0) * x + r(2, 1) * y + r(2, 2) * z));
        v = shift ? shift->toLocal(placed) : osg::Vec3(placed);
    }

    LogLine() << "Writing New Ply\n";
    const QString registered = registeredFileName(ptsFileName);
    if (QFileInfo::exists(registered) || vertices.empty())
        return Outcome::Applied;
    return PlyWriter::writePly(registered, vertices, colours, nullptr, shift ? shift->offset() : osg::Vec3d())
               ? Outcome::AppliedAndSaved
               : Outcome::Applied;
}
