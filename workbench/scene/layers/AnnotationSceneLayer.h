#pragma once

#include "scene/layers/SceneLayer.h"

class AnnotationLayer;
class AnnotationScene;

// A points or polygons annotation layer as one of the scene's layers: the
// AnnotationLayer that AnnotationScene owns and draws.
class AnnotationSceneLayer : public SceneLayer
{
public:
    AnnotationSceneLayer(const LayerOptions& options, AnnotationScene* scene, AnnotationLayer* layer);

    AnnotationLayer* annotation() const { return m_layer; }

    osg::Node* node() const override;
    // Hands the layer back to the annotation scene, which drops it.
    void detach(osg::Group* root) override;
    LayerSummary summary() const override { return LayerSummary(); }

protected:
    void applyVisible(bool visible) override;

private:
    AnnotationScene* m_scene;
    AnnotationLayer* m_layer;
};
