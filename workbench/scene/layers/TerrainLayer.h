#pragma once

#include <memory>

#include "scene/layers/SceneLayer.h"

class PointShift;

// A terrain: a mesh the scene-graph library reads as it is, or (in the
// subclasses) a raster or contour lines at survey coordinates, placed at
// their shift and marked with their reference system.
class TerrainLayer : public SceneLayer
{
public:
    TerrainLayer(const LayerOptions& options, osg::Node* node, int epsg = 0);

    // The mesh of options.file; null with error set when it cannot be read.
    static std::unique_ptr<TerrainLayer> read(const LayerOptions& options, QString* error);

    int referenceSystem() const override { return m_epsg; }

protected:
    // Content of survey coordinates under the transform of its shift.
    static osg::ref_ptr<osg::Node> placed(osg::Node* content, const PointShift& shift);

private:
    int m_epsg = 0;
};
