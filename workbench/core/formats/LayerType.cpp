#include "core/formats/LayerType.h"

#include "core/formats/KmlKind.h"
#include "core/formats/PlyKind.h"
#include "core/log/LogLine.h"

namespace {

QString plyKind(const QString& path)
{
    return PlyKind::kindOfPly(path);
}

QString kmlKind(const QString& path)
{
    return KmlKind::kindOfKml(path);
}

LayerType::KindTest g_plyKind = plyKind;
LayerType::KindTest g_kmlKind = kmlKind;

} // namespace

const QVector<LayerType::Code>& LayerType::all()
{
    static const QVector<Code> codes{Mesh, PointCloud, Bundle, Terrain, Points, Polygons, Polylines, Annotation};
    return codes;
}

QString LayerType::name(Code code)
{
    switch (code) {
    case Mesh: return QStringLiteral("Mesh");
    case PointCloud: return QStringLiteral("PointCloud");
    case Bundle: return QStringLiteral("Bundle");
    case Terrain: return QStringLiteral("Terrain");
    case Points: return QStringLiteral("Points");
    case Polygons: return QStringLiteral("Polygons");
    case Polylines: return QStringLiteral("Polylines");
    case Annotation: return QStringLiteral("Annotation");
    case None: break;
    }
    return QString();
}

LayerType::Code LayerType::fromName(const QString& name)
{
    for (Code c : all())
        if (LayerType::name(c) == name)
            return c;
    return None;
}

LayerType::Code LayerType::fromCode(int code)
{
    for (Code c : all())
        if (int(c) == code)
            return c;
    return None;
}

QString LayerType::iconPath(Code code)
{
    switch (code) {
    case Mesh: return QStringLiteral(":images/mesh.png");
    case PointCloud: return QStringLiteral(":images/clouds.png");
    case Bundle: return QStringLiteral(":images/Bundle.png");
    case Terrain: return QStringLiteral(":images/dense.png");
    case Points: return QStringLiteral(":images/singlePoint.jpg");
    case Polygons: return QStringLiteral(":images/drawPolyhedron.jpg");
    case Polylines: return QStringLiteral(":images/DrawPolyline.png");
    case Annotation: return QStringLiteral(":images/new.png");
    case None: break;
    }
    return QString();
}

QString LayerType::fileNameOf(const QString& path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

LayerType::Code LayerType::typeOfFile(const QString& path)
{
    // Folder names say nothing about a file: "run.output/x.ply" is a cloud.
    const QString name = fileNameOf(path);
    auto has = [&](const char* text) { return name.contains(QLatin1String(text), Qt::CaseSensitive); };
    if (has(".out") || has(".nvm"))
        return Bundle;
    if (has(".ply")) {
        const QString kind = g_plyKind(path);
        LogLine() << "Type:" << kind.toStdString() << "\n";
        return fromName(kind);
    }
    if (has(".patch") || has(".pts") || has(".xyb") || has(".osga"))
        return PointCloud;
    if (has(".osgb") || has(".tif") || has(".gpkg"))
        return Terrain;
    if (has(".obj") || has(".osg"))
        return Mesh;
    if (has(".kml"))
        return fromName(g_kmlKind(path));
    if (has(".ant"))
        return Annotation;
    return None;
}

void LayerType::setPlyKindTest(KindTest test)
{
    g_plyKind = test ? test : plyKind;
}

void LayerType::setKmlKindTest(KindTest test)
{
    g_kmlKind = test ? test : kmlKind;
}
