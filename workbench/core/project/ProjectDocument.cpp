#include "core/project/ProjectDocument.h"

namespace {
struct Section
{
    LayerType::Code type;
    const char* element;
};
const Section sections[] = {{LayerType::Mesh, "models"},       {LayerType::PointCloud, "pointclouds"},
                            {LayerType::Bundle, "bundlefiles"}, {LayerType::Terrain, "terrain"},
                            {LayerType::Points, "points"},      {LayerType::Polygons, "polygons"},
                            {LayerType::Polylines, "polylines"}, {LayerType::Annotation, "annotation"}};
} // namespace

QString ProjectDocument::sectionName(LayerType::Code type)
{
    for (const Section& s : sections)
        if (s.type == type)
            return QString::fromLatin1(s.element);
    return QString();
}

LayerType::Code ProjectDocument::sectionType(const QString& element)
{
    for (const Section& s : sections)
        if (element == QLatin1String(s.element))
            return s.type;
    return LayerType::None;
}
