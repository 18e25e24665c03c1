#include "scene/interaction/ControllerPicker.h"

#include <osg/ref_ptr>

#include "scene/interaction/MapController.h"

ControllerPicker::ControllerPicker(MapController* controller) : m_controller(controller) {}

void ControllerPicker::setPointInput(bool on)
{
    osg::ref_ptr<MapController> c;
    if (m_controller.lock(c))
        c->getPointToggle(on);
}

void ControllerPicker::setPolygonInput(bool on)
{
    osg::ref_ptr<MapController> c;
    if (m_controller.lock(c))
        c->getPolygonToggle(on);
}

bool ControllerPicker::takeNewPick(osg::Vec3d& position)
{
    osg::ref_ptr<MapController> c;
    if (!m_controller.lock(c) || !c->hasPick())
        return false;
    position = c->lastPick();
    c->clearPick();
    return true;
}

void ControllerPicker::movePointMarker(const osg::Vec3d& position)
{
    osg::ref_ptr<MapController> c;
    if (m_controller.lock(c))
        c->updateFromServerPos(position);
}

void ControllerPicker::removePointMarker()
{
    osg::ref_ptr<MapController> c;
    if (m_controller.lock(c))
        c->clearPointCapture();
}

void ControllerPicker::extendPolygonPreview(const osg::Vec3d& vertex)
{
    osg::ref_ptr<MapController> c;
    if (!m_controller.lock(c))
        return;
    c->extendPolygon(vertex);
    c->updateTogglePolygon(); // the vertex is set: the next one starts a new edge
}

void ControllerPicker::removePolygonPreview()
{
    osg::ref_ptr<MapController> c;
    if (m_controller.lock(c))
        c->clearPolygonCapture();
}
