#pragma once

#include "scene/layers/SceneLayer.h"

// A point cloud: a file read by PointCloudLoader (a paged archive among
// them), or a selection extracted in the view. Its points are kept
// relative to the scene origin.
class CloudLayer : public SceneLayer
{
public:
    using SceneLayer::SceneLayer;

    bool isArchive() const;
    // Writes its points as ASCII PLY; false with a message for a paged
    // archive or a failed write.
    bool exportTo(const QString& fileName, QString* message) const;

    bool holdsOrigin() const override { return true; }
};
