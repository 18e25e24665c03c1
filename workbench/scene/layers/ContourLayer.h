#pragma once

#include <memory>

#include "scene/layers/TerrainLayer.h"

// The lines of a contour GeoPackage at their heights (ContourSceneBuilder).
class ContourLayer : public TerrainLayer
{
public:
    using TerrainLayer::TerrainLayer;

    // The lines of options.file; null with error set when it holds none or
    // they are in another reference system than projectEpsg (0: any).
    static std::unique_ptr<ContourLayer> load(const LayerOptions& options, PointShift& shift, int projectEpsg,
                                              QString* error);
};
