#pragma once

#include <QString>

#include "LayerType.h"

// What the layer tree asks of the 3D view: per layer type a list of scene
// objects, indexed like the tree's per-type layer lists.
class LayerScene
{
public:
    virtual ~LayerScene() = default;

    // Loads a layer's file into the scene, appending to the type's list.
    virtual void loadLayer(LayerType::Code type, const QString& file, bool visible) = 0;
    // Out-of-range indices are ignored.
    virtual void setLayerVisible(LayerType::Code type, int index, bool visible) = 0;
    virtual void removeLayer(LayerType::Code type, int index) = 0;
};
