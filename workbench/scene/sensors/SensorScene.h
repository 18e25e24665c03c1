#pragma once

#include <QString>
#include <QVector>

#include <osg/Geode>
#include <osg/Geometry>
#include <osg/Group>
#include <osg/Referenced>
#include <osg/ShapeDrawable>
#include <osg/ref_ptr>
#include <osgText/Text>

#include <functional>
#include <memory>
#include <string>

#include "core/sensors/SensorNode.h"

class SensorSmoke;

// The sensor network in the 3D view: a sphere per node coloured by its
// temperature, the points through the nodes (in the node colours and once
// more in orange), a popup per node with its latest values, and the smoke
// effect. Built once on first use; lives on the GUI (rendering) side only.
class SensorScene : public osg::Referenced
{
public:
    static constexpr float sphereRadius = 1.0f;
    static constexpr float popupSize = 20.0f;   // the square text panel
    static constexpr float popupOffsetX = 2.0f; // panel's near edge beside the node
    static constexpr float popupHeight = 5.0f;  // above the node

    explicit SensorScene(const std::string& smokeTexture);

    // Creates the nodes, spheres, point geometries and popups; once.
    void build();
    bool isBuilt() const { return m_built; }
    // What goes under the scene root.
    osg::Group* group() const { return m_group.get(); }

    const QVector<SensorNode>& nodes() const { return m_nodes; }
    // New values and colours for every node (same order as built).
    void setNodes(const QVector<SensorNode>& nodes);

    osg::ShapeDrawable* sphere(int node) const;
    osg::Geometry* colourPoints() const { return m_colourPoints.get(); }
    osg::Geometry* orangePoints() const { return m_orangePoints.get(); }

    // The node whose sphere the segment (scene coordinates) meets first, or -1.
    int pick(const osg::Vec3d& start, const osg::Vec3d& end) const;

    // Shows the popup of a node with its current values and hides any other.
    // Each returns whether what is shown changed.
    bool showPopup(int node);
    bool hidePopup();
    int popupNode() const { return m_popupNode; }
    osg::Geode* popup(int node) const;
    osgText::Text* popupLabel(int node) const;
    osg::Geometry* popupPanel(int node) const;

    void startSmoke(int node);
    void stopSmoke();
    bool smokeRunning() const;
    SensorSmoke* smoke() const { return m_smoke.get(); }

    // Called whenever what the view shows changed and a new frame is due.
    void setChangedCallback(std::function<void()> changed) { m_changed = std::move(changed); }

protected:
    ~SensorScene() override;

private:
    bool valid(int node) const { return node >= 0 && node < m_nodes.size(); }
    void addPopup(const SensorNode& node);
    void changed() const;

    std::string m_smokeTexture;
    bool m_built = false;
    QVector<SensorNode> m_nodes;
    osg::ref_ptr<osg::Group> m_group;
    osg::ref_ptr<osg::Group> m_spheres; // the spheres' geodes only, for picking
    std::vector<osg::ref_ptr<osg::ShapeDrawable>> m_sphereDrawables;
    osg::ref_ptr<osg::Geometry> m_colourPoints;
    osg::ref_ptr<osg::Geometry> m_orangePoints;
    std::vector<osg::ref_ptr<osg::Geode>> m_popups;
    int m_popupNode = -1;
    std::unique_ptr<SensorSmoke> m_smoke;
    std::function<void()> m_changed;
};
