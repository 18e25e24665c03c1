#pragma once

#include <memory>

#include "scene/layers/TerrainLayer.h"

// An elevation model or orthophoto GeoTIFF: the DSM draped with the
// orthophoto (DrapedRasterBuilder), in the scene's reference system.
class RasterLayer : public TerrainLayer
{
public:
    using TerrainLayer::TerrainLayer;

    // The raster of options.file in projectEpsg (0: its own system); null
    // with error set when it gives no mesh.
    static std::unique_ptr<RasterLayer> load(const LayerOptions& options, PointShift& shift, int projectEpsg,
                                             QString* error);
};
