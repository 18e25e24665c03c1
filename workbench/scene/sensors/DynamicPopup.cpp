#include "scene/sensors/DynamicPopup.h"

#include "scene/sensors/SensorScene.h"

#include <osg/Camera>
#include <osgViewer/View>

DynamicPopup::DynamicPopup(SensorScene* scene) : m_scene(scene) {}

int DynamicPopup::nodeAt(const osg::Camera* camera, double x, double y) const
{
    if (!camera || !camera->getViewport() || !m_scene->isBuilt())
        return -1;
    const osg::Matrixd windowFromScene = camera->getViewMatrix() * camera->getProjectionMatrix() *
                                         camera->getViewport()->computeWindowMatrix();
    osg::Matrixd sceneFromWindow;
    if (!sceneFromWindow.invert(windowFromScene))
        return -1;
    // The line of sight from the near plane to the far plane.
    return m_scene->pick(osg::Vec3d(x, y, 0.0) * sceneFromWindow, osg::Vec3d(x, y, 1.0) * sceneFromWindow);
}

bool DynamicPopup::handle(const osgGA::GUIEventAdapter& ea, osgGA::GUIActionAdapter& aa, osg::Object*,
                          osg::NodeVisitor*)
{
    if (ea.getEventType() != osgGA::GUIEventAdapter::MOVE &&
        ea.getEventType() != osgGA::GUIEventAdapter::DRAG)
        return false;
    // Only a scene that is shown has anything to point at.
    if (!m_scene->isBuilt() || m_scene->group()->getNumParents() == 0)
        return false;
    auto* view = dynamic_cast<osgViewer::View*>(aa.asView());
    if (!view)
        return false;
    const int node = nodeAt(view->getCamera(), ea.getX(), ea.getY());
    if (node >= 0)
        m_scene->showPopup(node);
    else
        m_scene->hidePopup();
    return false;
}
