#include "scene/interaction/MapController.h"

#include "common/numbers/NumberText.h"
#include "core/log/LogSink.h"
#include "scene/interaction/BoxPointExtractor.h"
#include "scene/interaction/MapManipulator.h"
#include "scene/interaction/PickMarks.h"
#include "scene/layers/PointGeometry.h"

#include <osg/MatrixTransform>

#include <osgUtil/IntersectionVisitor>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using osgGA::GUIEventAdapter;

MapController::MapController(osgViewer::View* view, osg::Group* root, MapManipulator* manipulator)
    : m_view(view), m_root(root), m_manipulator(manipulator), m_points(root), m_polygon(root)
{
}

bool MapController::handle(const GUIEventAdapter& ea, osgGA::GUIActionAdapter&)
{
    switch (ea.getEventType()) {
    case GUIEventAdapter::KEYDOWN:
        if (ea.getKey() == GUIEventAdapter::KEY_Control_L || ea.getKey() == GUIEventAdapter::KEY_Control_R) {
            m_controlHeld = true;
            LogSink::printf(LogLevel::Debug, "Down\n");
        }
        break;
    case GUIEventAdapter::KEYUP:
        if (ea.getKey() == GUIEventAdapter::KEY_Control_L || ea.getKey() == GUIEventAdapter::KEY_Control_R) {
            m_controlHeld = false;
            LogSink::printf(LogLevel::Debug, "Up\n");
        }
        break;
    case GUIEventAdapter::PUSH:
        if (ea.getButtonMask() == GUIEventAdapter::LEFT_MOUSE_BUTTON)
            onLeftPress(ea);
        break;
    case GUIEventAdapter::DRAG:
        onDrag(ea);
        break;
    case GUIEventAdapter::RELEASE:
        onRelease();
        break;
    default:
        break;
    }
    // The manipulators work on the same events.
    return false;
}

void MapController::changed()
{
    // Frames are drawn on demand: what changes the scene asks for one.
    osg::ref_ptr<osgViewer::View> view;
    if (m_view.lock(view))
        view->requestRedraw();
}

void MapController::clearPointCapture()
{
    changed();
    m_points.clear();
}

void MapController::extendPolygon(const osg::Vec3d& vertex)
{
    changed();
    m_polygon.capturePolygon(vertex, true);
}

void MapController::clearPolygonCapture()
{
    changed();
    m_polygon.clear();
}

bool MapController::pick(const GUIEventAdapter& ea, osgUtil::PolytopeIntersector::Intersection& first,
                         size_t* count) const
{
    osg::ref_ptr<osgViewer::View> view;
    if (!m_view.lock(view) || !view->getCamera() || !view->getCamera()->getViewport())
        return false;
    const double x = ea.getX();
    const double y = ea.getY();
    osg::ref_ptr<osgUtil::PolytopeIntersector> picker = new osgUtil::PolytopeIntersector(
        osgUtil::Intersector::WINDOW, x - pickPixels, y - pickPixels, x + pickPixels, y + pickPixels);
    osgUtil::IntersectionVisitor visitor(picker.get());
    view->getCamera()->accept(visitor);
    if (!picker->containsIntersections())
        return false;
    if (count)
        *count = picker->getIntersections().size();
    first = picker->getFirstIntersection();
    return true;
}

namespace
{

// Where a hit lies in the scene: its point below any transforms, moved by
// them, in double. The point below the transforms is a float, known to half
// a float step: the world point keeps only the decimals that step can tell,
// so a point read as 712345.674 is picked as 712345.674.
osg::Vec3d worldPoint(const osgUtil::PolytopeIntersector::Intersection& hit)
{
    const osg::Vec3d local(hit.localIntersectionPoint);
    if (!hit.matrix.valid())
        return PointShift::toWorld(osg::Vec3(local), osg::Vec3d());
    const osg::Vec3d world = local * (*hit.matrix);
    const osg::Vec3d scale = hit.matrix->getScale();
    const double stretch = std::max({scale.x(), scale.y(), scale.z()});
    const double step =
        std::max({NumberText::halfFloatStep(local.x()), NumberText::halfFloatStep(local.y()),
                  NumberText::halfFloatStep(local.z())}) *
        stretch;
    osg::Vec3d snapped;
    for (int i = 0; i < 3; ++i)
        snapped[i] = NumberText::fewestDecimals(world[i], step);
    return snapped;
}

} // namespace

void MapController::onLeftPress(const GUIEventAdapter& ea)
{
    osgUtil::PolytopeIntersector::Intersection hit;
    if (m_boxPlacing) {
        size_t count = 0;
        if (!pick(ea, hit, &count))
            return;
        LogSink::printf(LogLevel::Debug, "Got it %zu\n", count);
        m_box.setCentre(worldPoint(hit));
        m_box.setRotation(m_box.rotation());
        m_box.show();
        m_boxPlacing = false;
        return;
    }
    if (!m_controlHeld || !(m_drawPoint || m_getPoint || m_getPolygon || m_measure || m_pickOnly))
        return;
    LogSink::printf(LogLevel::Debug, "Testing Intersect\n");
    if (!pick(ea, hit, nullptr))
        return;
    for (Marker& marker : m_markers) {
        if (marker.geode->getNumDrawables() > 0 && hit.drawable.get() == marker.geode->getDrawable(0)) {
            marker.selected = true;
            marker.shape->setColor(osg::Vec4(0.0f, 0.0f, 1.0f, 1.0f));
            m_dragBaseX = int(ea.getX());
            m_dragBaseY = m_pressY = int(ea.getY());
            return;
        }
    }
    m_lastPick = worldPoint(hit);
    m_picked = true;
    capture(m_lastPick);
}

void MapController::capture(const osg::Vec3d& point)
{
    // Fixed order: polygon, point, measure.
    if (m_getPolygon)
        m_polygon.capturePolygon(point, m_measure);
    if (m_getPoint)
        m_points.capture(point);
    if (m_measure)
        m_polygon.captureMeasure(point);
}

void MapController::onDrag(const GUIEventAdapter& ea)
{
    bool dragging = false;
    for (const Marker& marker : m_markers)
        dragging = dragging || marker.selected;
    if (!dragging)
        return;
    if (m_manipulator.valid())
        m_manipulator->setDragLock(true);
    const int x = int(ea.getX());
    while (std::abs(x - m_dragBaseX) >= 5)
        m_dragBaseX += x > m_dragBaseX ? 5 : -5;
}

void MapController::onRelease()
{
    for (Marker& marker : m_markers) {
        if (!marker.selected)
            continue;
        marker.selected = false;
        marker.shape->setColor(osg::Vec4(1.0f, 0.0f, 0.0f, 1.0f));
    }
    if (m_manipulator.valid())
        m_manipulator->setDragLock(false);
    m_dragBaseX = m_dragBaseY = 0;
}

// ---------------------------------------------------------------- modes

void MapController::drawPointToggle(bool on)
{
    changed();
    m_drawPoint = on;
}

void MapController::getPointToggle(bool on)
{
    changed();
    m_getPoint = on;
    m_picked = false;
    if (!on)
        m_points.clear();
}

void MapController::getPolygonToggle(bool on)
{
    changed();
    m_getPolygon = on;
    m_picked = false;
    if (!on)
        m_polygon.clear();
}

void MapController::pickToggle(bool on)
{
    m_pickOnly = on;
    m_picked = false;
}

void MapController::measureToggle(bool on)
{
    changed();
    m_measure = on;
    m_picked = false;
    if (!on)
        m_polygon.clear();
}

void MapController::updateTogglePolygon()
{
    changed();
    m_polygon.fixLast();
}

void MapController::updateFromServerPos(const osg::Vec3d& position)
{
    changed();
    m_points.capture(position);
}

void MapController::setSceneOrigin(const osg::Vec3d& origin)
{
    m_origin = origin;
    m_points.setOrigin(origin);
    m_polygon.setOrigin(origin);
}

void MapController::fixPoint()
{
    changed();
    m_points.fixLast();
}

// ------------------------------------------------------------ selection box

void MapController::turnOnSelectBox(bool on)
{
    changed();
    m_boxOn = on;
    if (!on) {
        m_box.reset();
        m_boxPlacing = false;
        return;
    }
    if (m_box.isBuilt()) {
        if (m_box.isPlaced())
            m_box.show();
        else
            m_boxPlacing = true;
        return;
    }
    LogSink::printf(LogLevel::Debug, "Toggle\n");
    if (!m_box.isPlaced()) {
        LogSink::printf(LogLevel::Debug, "Null\n");
        m_box.setCentre(osg::Vec3d(0.0, 0.0, 0.0));
    }
    m_box.build(m_root.get());
    m_boxPlacing = true;
}

void MapController::changeBox(void (SelectionBox::*set)(double), double value)
{
    changed();
    (m_box.*set)(value);
}

osg::ref_ptr<osg::Geode> MapController::extractBox(PointShift& shift)
{
    // A box that was never switched on does not exist, one switched off sits
    // at its reset place, and a flat one holds nothing.
    const osg::Vec3f half = m_box.halfLengths();
    if (!m_boxOn || !m_box.isBuilt() || half.x() <= 0.0f || half.y() <= 0.0f || half.z() <= 0.0f)
        return nullptr;

    const std::array<osg::Vec3d, 8> corners = m_box.corners();
    for (const osg::Vec3d& c : corners)
        LogSink::printf(LogLevel::Debug, "%f %f %f\n", c.x(), c.y(), c.z());
    const osg::Vec3d centre = (corners[0] + corners[7]) * 0.5;
    LogSink::printf(LogLevel::Debug, "centre %f %f %f\n", centre.x(), centre.y(), centre.z());
    LogSink::printf(LogLevel::Debug, "Testing\n");

    BoxPointExtractor extractor(m_box.polytope(), &shift);
    m_root->accept(extractor);
    if (extractor.hits() > 0)
        LogSink::printf(LogLevel::Debug, "Got many: %zu\n", extractor.hits());
    if (extractor.vertices()->empty())
        return nullptr;
    return PointGeometry::makeGeode(extractor.vertices(), extractor.colours());
}

void MapController::addMarker(const osg::Vec3d& position, float radius)
{
    changed();
    Marker marker;
    const osg::Vec3d origin = SceneOrigin::localOriginFor(position);
    marker.shape = new osg::ShapeDrawable(new osg::Sphere(osg::Vec3(position - origin), radius));
    marker.shape->setColor(osg::Vec4(1.0f, 0.0f, 0.0f, 1.0f));
    marker.geode = new osg::Geode;
    marker.geode->addDrawable(marker.shape.get());
    m_root->addChild(PickMarks::placed(marker.geode.get(), origin));
    m_markers.push_back(marker);
}
