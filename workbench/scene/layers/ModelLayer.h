#pragma once

#include <memory>

#include "scene/layers/SceneLayer.h"

class PointShift;

// A mesh model read by the scene-graph library; one at survey coordinates
// is kept relative to the scene origin, as point clouds are.
class ModelLayer : public SceneLayer
{
public:
    ModelLayer(const LayerOptions& options, osg::Node* node);

    // The model of options.file, its vertices shifted by shift; null with
    // error set when the library cannot read it.
    static std::unique_ptr<ModelLayer> read(const LayerOptions& options, PointShift& shift, QString* error);

    bool holdsOrigin() const override;
};
