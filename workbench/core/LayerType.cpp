#include "LayerType.h"

#include "PlyKind.h"

#include <iostream>

namespace
{

LayerType::KmlKindTest kmlKindTest = nullptr;

struct Entry {
    LayerType::Code code;
    const char* name;
};

constexpr Entry entries[] = {{LayerType::Mesh, "Mesh"},           {LayerType::PointCloud, "PointCloud"},
                             {LayerType::Bundle, "Bundle"},       {LayerType::Terrain, "Terrain"},
                             {LayerType::Points, "Points"},       {LayerType::Polygons, "Polygons"},
                             {LayerType::Polylines, "Polylines"}, {LayerType::Annotation, "Annotation"}};

} // namespace

const LayerType::Code LayerType::all[8] = {Mesh,   PointCloud, Bundle,    Terrain,
                                           Points, Polygons,   Polylines, Annotation};

QString LayerType::name(int code)
{
    for (const Entry& e : entries)
        if (e.code == code)
            return QString::fromLatin1(e.name);
    return QString();
}

LayerType::Code LayerType::code(const QString& name)
{
    for (const Entry& e : entries)
        if (name == QLatin1String(e.name))
            return e.code;
    return None;
}

LayerType::Code LayerType::typeOfFile(const QString& path)
{
    const auto has = [&path](const char* text) { return path.contains(QLatin1String(text)); };
    // ".osga" and ".osgb" contain ".osg": the order of the tests matters.
    if (has(".out") || has(".nvm"))
        return Bundle;
    if (has(".ply")) {
        const QString kind = PlyKind::kindOfPly(path);
        std::cout << "Type:" << kind.toStdString() << "\n";
        return code(kind);
    }
    if (has(".patch") || has(".pts") || has(".xyb") || has(".osga"))
        return PointCloud;
    if (has(".osgb"))
        return Terrain;
    if (has(".obj") || has(".osg"))
        return Mesh;
    if (has(".kml")) {
        const Code kind = kmlKindTest ? code(kmlKindTest(path)) : Points;
        // Anything but the two annotation kinds would be a tester's bug; the
        // file still becomes the layer it most likely is.
        return kind == Polygons ? Polygons : Points;
    }
    if (has(".ant"))
        return Annotation;
    return None;
}

void LayerType::setKmlKindTest(KmlKindTest test)
{
    kmlKindTest = test;
}
