#pragma once

#include <QString>

#include <osg/Group>
#include <osg/ref_ptr>

#include "core/layers/LayerOptions.h"
#include "scene/layers/LayerSummary.h"

// One loaded layer in the 3D view's scene: its options and the nodes that
// stand for it. SceneLayers keeps one per layer id and shows, hides and
// removes every kind of layer through it; each kind's subclass knows which
// nodes are its own.
class SceneLayer
{
public:
    static constexpr osg::Node::NodeMask hiddenMask = 0x0;
    static constexpr osg::Node::NodeMask shownMask = ~0x0u;

    SceneLayer(const LayerOptions& options, osg::Node* node);
    virtual ~SceneLayer();
    SceneLayer(const SceneLayer&) = delete;
    SceneLayer& operator=(const SceneLayer&) = delete;

    const LayerOptions& options() const { return m_options; }
    LayerType::Code type() const { return m_options.type; }
    QString file() const { return QString::fromUtf8(m_options.file); }
    bool isVisible() const { return m_options.visible; }

    // The node that stands for the layer: a mesh's, terrain's or cloud's
    // node, a reconstruction's first point set, an annotation layer's group.
    virtual osg::Node* node() const { return m_node.get(); }
    // Shows or hides every node of the layer; hidden nodes stay in the scene.
    void setVisible(bool visible);
    // Takes the layer's nodes out of the scene under root, each with the
    // transforms that place it.
    virtual void detach(osg::Group* root);
    // What the property windows tell of the layer.
    virtual LayerSummary summary() const;
    // Whether the layer keeps points relative to the scene origin, which
    // must then stay as it is.
    virtual bool holdsOrigin() const { return false; }
    // The EPSG code of the survey coordinates the layer names, 0 for none.
    virtual int referenceSystem() const { return 0; }

    // Removes from root the top of the transform chain that node hangs under.
    static void detachFromRoot(osg::Group* root, osg::Node* node);

protected:
    virtual void applyVisible(bool visible);

    LayerOptions m_options;
    osg::ref_ptr<osg::Node> m_node;
};
