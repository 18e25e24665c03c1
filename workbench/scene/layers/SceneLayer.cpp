#include "scene/layers/SceneLayer.h"

SceneLayer::SceneLayer(const LayerOptions& options, osg::Node* node) : m_options(options), m_node(node) {}

SceneLayer::~SceneLayer() = default;

void SceneLayer::setVisible(bool visible)
{
    m_options.visible = visible;
    applyVisible(visible);
}

void SceneLayer::applyVisible(bool visible)
{
    if (m_node)
        m_node->setNodeMask(visible ? shownMask : hiddenMask);
}

void SceneLayer::detach(osg::Group* root)
{
    if (!m_node)
        return;
    m_node->setNodeMask(hiddenMask);
    detachFromRoot(root, m_node.get());
}

LayerSummary SceneLayer::summary() const
{
    const osg::Node* shown = node();
    return shown ? LayerSummary::ofNode(shown) : LayerSummary();
}

void SceneLayer::detachFromRoot(osg::Group* root, osg::Node* node)
{
    // Georeferenced nodes hang under their own transform chain; the chain's
    // top is what the root holds.
    while (node && node->getNumParents() > 0) {
        osg::Group* parent = node->getParent(0);
        if (parent == root) {
            root->removeChild(node);
            return;
        }
        node = parent;
    }
}
