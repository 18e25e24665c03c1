#pragma once

#include <osg/Geode>
#include <osg/Group>
#include <osg/ShapeDrawable>
#include <osg/observer_ptr>
#include <osg/ref_ptr>
#include <osgGA/GUIEventHandler>
#include <osgUtil/PolytopeIntersector>
#include <osgViewer/View>

#include <vector>

#include "scene/interaction/PointCapture.h"
#include "core/formats/PointShift.h"
#include "scene/interaction/PolygonCapture.h"
#include "scene/interaction/SelectionBox.h"

class MapManipulator;

// Turns clicks in the 3D view into picked points: Control + left click picks
// the nearest geometry within 5 pixels and hands it to the input modes that
// are on (polygon, point, measure; draw point only records it). Picks are
// world coordinates in double, with the decimals the picked point was read
// with; the marks drawn for them sit relative to the scene origin. A plain left
// click places the selection box while it waits to be placed. Clicking a
// marker selects it for dragging and locks the map manipulator's left button.
// Every event is passed on to the manipulators.
class MapController : public osgGA::GUIEventHandler
{
public:
    // Half the side of the square around the pointer that a pick searches.
    static constexpr double pickPixels = 5.0;

    struct Marker {
        osg::ref_ptr<osg::Geode> geode;
        osg::ref_ptr<osg::ShapeDrawable> shape;
        bool selected = false;
    };

    MapController(osgViewer::View* view, osg::Group* root, MapManipulator* manipulator);

    bool handle(const osgGA::GUIEventAdapter& ea, osgGA::GUIActionAdapter& aa) override;

    // Modes; several may be on together.
    void drawPointToggle(bool on);
    void getPointToggle(bool on);
    void getPolygonToggle(bool on);
    void measureToggle(bool on);
    bool drawPointMode() const { return m_drawPoint; }
    bool getPointMode() const { return m_getPoint; }
    bool getPolygonMode() const { return m_getPolygon; }
    bool measureMode() const { return m_measure; }
    // Picks that only set lastPick(), for a tool that takes them itself (the section's ends).
    void pickToggle(bool on);
    bool pickMode() const { return m_pickOnly; }
    bool controlHeld() const { return m_controlHeld; }

    // The last pick and whether it is new (not yet taken by an input form).
    bool hasPick() const { return m_picked; }
    osg::Vec3d lastPick() const { return m_lastPick; }
    void clearPick() { m_picked = false; }

    // Fixes the newest polygon vertex.
    void updateTogglePolygon();
    // A position from the ground station, captured as a picked point.
    void updateFromServerPos(const osg::Vec3d& position);
    // Fixes the picked point so later picks leave it.
    void fixPoint();
    // The annotation forms' marker and outline preview.
    void clearPointCapture();
    void extendPolygon(const osg::Vec3d& vertex);
    void clearPolygonCapture();

    // The scene origin the marks of later picks are placed relative to.
    void setSceneOrigin(const osg::Vec3d& origin);
    const osg::Vec3d& sceneOrigin() const { return m_origin; }

    const PointCapture& pointCapture() const { return m_points; }
    const PolygonCapture& polygonCapture() const { return m_polygon; }

    // Selection box.
    void turnOnSelectBox(bool on);
    void setBoxX(double x) { changeBox(&SelectionBox::setCentreX, x); }
    void setBoxY(double y) { changeBox(&SelectionBox::setCentreY, y); }
    void setBoxZ(double z) { changeBox(&SelectionBox::setCentreZ, z); }
    void setBoxR(double degrees) { changeBox(&SelectionBox::setRotation, degrees); }
    void setSelectWidth(double x) { changeBox(&SelectionBox::setWidth, x); }
    void setSelectHeight(double z) { changeBox(&SelectionBox::setHeight, z); }
    void setSelectDepth(double y) { changeBox(&SelectionBox::setDepth, y); }
    osg::Vec3d getBoxPos() const { return m_box.centre(); }
    double getBoxRotation() const { return m_box.rotation(); }
    bool boxPlacing() const { return m_boxPlacing; }
    const SelectionBox& selectionBox() const { return m_box; }

    // The points inside the box (see BoxPointExtractor) as a new point geode,
    // stored relative to shift's offset (decided by the first point kept);
    // null while the box is switched off or flat, or when it holds no point.
    osg::ref_ptr<osg::Geode> extractBox(PointShift& shift);
    osg::ref_ptr<osg::Geode> extractBox()
    {
        PointShift nearOrigin;
        return extractBox(nearOrigin);
    }

    // Draggable markers: a red sphere under the root.
    void addMarker(const osg::Vec3d& position, float radius);
    const std::vector<Marker>& markers() const { return m_markers; }
    int dragBaseX() const { return m_dragBaseX; }
    int dragBaseY() const { return m_dragBaseY; }

private:
    // Asks the viewer for a frame: the view draws on demand.
    void changed();
    // Sets one value of the selection box and asks for a frame to show it.
    void changeBox(void (SelectionBox::*set)(double), double value);
    // The nearest hit within pickPixels of the pointer; false when nothing is there.
    bool pick(const osgGA::GUIEventAdapter& ea, osgUtil::PolytopeIntersector::Intersection& first,
              size_t* count) const;
    void onLeftPress(const osgGA::GUIEventAdapter& ea);
    void onDrag(const osgGA::GUIEventAdapter& ea);
    void onRelease();
    void capture(const osg::Vec3d& point);

    osg::observer_ptr<osgViewer::View> m_view;
    osg::ref_ptr<osg::Group> m_root;
    osg::observer_ptr<MapManipulator> m_manipulator;

    bool m_controlHeld = false;
    bool m_drawPoint = false;
    bool m_getPoint = false;
    bool m_getPolygon = false;
    bool m_measure = false;
    bool m_pickOnly = false;

    osg::Vec3d m_lastPick;
    bool m_picked = false;
    osg::Vec3d m_origin;

    SelectionBox m_box;
    bool m_boxPlacing = false;
    bool m_boxOn = false;

    PointCapture m_points;
    PolygonCapture m_polygon;

    std::vector<Marker> m_markers;
    int m_dragBaseX = 0;
    int m_dragBaseY = 0;
    int m_pressY = 0;
};
