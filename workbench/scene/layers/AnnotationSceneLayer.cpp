#include "scene/layers/AnnotationSceneLayer.h"

#include "scene/annotation/AnnotationLayer.h"
#include "scene/annotation/AnnotationScene.h"

AnnotationSceneLayer::AnnotationSceneLayer(const LayerOptions& options, AnnotationScene* scene,
                                           AnnotationLayer* layer)
    : SceneLayer(options, nullptr), m_scene(scene), m_layer(layer)
{
}

osg::Node* AnnotationSceneLayer::node() const
{
    return m_layer ? m_layer->group() : nullptr;
}

void AnnotationSceneLayer::applyVisible(bool visible)
{
    if (m_layer)
        m_layer->setVisible(visible);
}

void AnnotationSceneLayer::detach(osg::Group* root)
{
    Q_UNUSED(root);
    if (!m_layer)
        return;
    m_layer->setVisible(false);
    m_scene->remove(m_layer);
    m_layer = nullptr;
}
