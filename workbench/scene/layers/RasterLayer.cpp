#include "scene/layers/RasterLayer.h"

#include "core/formats/PointShift.h"
#include "scene/layers/DrapedRasterBuilder.h"

std::unique_ptr<RasterLayer> RasterLayer::load(const LayerOptions& options, PointShift& shift,
                                               int projectEpsg, QString* error)
{
    int epsg = 0;
    osg::ref_ptr<osg::Node> mesh =
        DrapedRasterBuilder::load(QString::fromUtf8(options.file), shift, projectEpsg, error, &epsg);
    if (!mesh)
        return nullptr;
    return std::make_unique<RasterLayer>(options, placed(mesh.get(), shift).get(), epsg);
}
