#pragma once

#include <osg/observer_ptr>

#include "core/annotation/AnnotationPicker.h"

class MapController;

// Gives the annotation forms the picking controller's input flags, last pick,
// point marker and polygon outline.
class ControllerPicker : public AnnotationPicker
{
public:
    explicit ControllerPicker(MapController* controller);

    void setPointInput(bool on) override;
    void setPolygonInput(bool on) override;
    bool takeNewPick(osg::Vec3d& position) override;
    void movePointMarker(const osg::Vec3d& position) override;
    void removePointMarker() override;
    void extendPolygonPreview(const osg::Vec3d& vertex) override;
    void removePolygonPreview() override;

private:
    osg::observer_ptr<MapController> m_controller;
};
