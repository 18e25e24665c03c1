#pragma once

#include <osg/ref_ptr>
#include <osgGA/GUIEventHandler>

class SensorScene;

// The sensor popup handler: while the pointer's line of sight meets a
// sensor node's sphere, that node's popup shows its current values; moving
// off the spheres hides it. It never takes an event from the handlers after it.
class DynamicPopup : public osgGA::GUIEventHandler
{
public:
    explicit DynamicPopup(SensorScene* scene);

    bool handle(const osgGA::GUIEventAdapter& ea, osgGA::GUIActionAdapter& aa, osg::Object*,
                osg::NodeVisitor*) override;
    using osgGA::GUIEventHandler::handle;

    // The node under window position (x, y) of the camera, or -1.
    int nodeAt(const osg::Camera* camera, double x, double y) const;

private:
    osg::ref_ptr<SensorScene> m_scene;
};
