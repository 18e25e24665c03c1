#include "scene/interaction/MapManipulator.h"

#include "core/log/LogSink.h"

#include <cstdio>
#include <cstdlib>

using osgGA::GUIEventAdapter;

namespace
{

int sign(int v)
{
    return v > 0 ? 1 : (v < 0 ? -1 : 0);
}

} // namespace

MapManipulator::MapManipulator(int flags) : osgGA::OrbitManipulator(flags)
{
    // The steps roll and turn the camera freely; a fixed vertical axis would
    // take the roll straight back out of every matrix set here.
    setVerticalAxisFixed(false);
}

bool MapManipulator::handle(const GUIEventAdapter& ea, osgGA::GUIActionAdapter&)
{
    if (ea.isMultiTouchEvent()) {
        LogSink::printf(LogLevel::Debug, "MultiTouch\n");
    }

    handleScroll(ea);

    switch (ea.getEventType()) {
    case GUIEventAdapter::PUSH:
        m_lastX = int(ea.getX());
        m_lastY = m_pressY = int(ea.getY());
        break;
    case GUIEventAdapter::RELEASE:
        m_lastX = m_lastY = m_pressY = 0;
        break;
    case GUIEventAdapter::DRAG:
        handleDrag(ea);
        break;
    case GUIEventAdapter::KEYDOWN:
        handleKey(ea);
        break;
    default:
        break;
    }
    // Never swallow an event: the picking controller works on the same clicks.
    return false;
}

void MapManipulator::handleScroll(const GUIEventAdapter& ea)
{
    // Only wheel events carry a scrolling motion; everything else reads SCROLL_NONE.
    const GUIEventAdapter::ScrollingMotion motion = ea.getScrollingMotion();
    if (motion != GUIEventAdapter::SCROLL_UP && motion != GUIEventAdapter::SCROLL_DOWN)
        return;
    const osg::Matrixd m = getMatrix();
    const osg::Quat rotation = getRotation();
    const osg::Vec3d direction(0.0, 0.0, motion == GUIEventAdapter::SCROLL_UP ? 1.0 : -1.0);
    setByMatrix(osg::Matrixd::rotate(m.getRotate()) *
                osg::Matrixd::translate(m.getTrans() + rotation * direction));
}

MapManipulator::Steps MapManipulator::takeSteps(int x, int y, bool strict)
{
    const auto reached = [strict](int distance) {
        return strict ? std::abs(distance) > stepPixels : std::abs(distance) >= stepPixels;
    };
    Steps steps;
    if (m_lastX != 0 && reached(x - m_lastX)) {
        steps.horizontal = sign(x - m_lastX);
        m_lastX += stepPixels * steps.horizontal;
        m_lastY = y;
    } else if (m_lastY != 0 && reached(y - m_lastY)) {
        steps.vertical = sign(y - m_lastY);
        m_lastY += stepPixels * steps.vertical;
        m_lastX = x;
    }
    return steps;
}

void MapManipulator::handleDrag(const GUIEventAdapter& ea)
{
    const unsigned buttons = unsigned(ea.getButtonMask());
    const int x = int(ea.getX());
    const int y = int(ea.getY());

    double u = 0.0, w = 0.0; // left: sideways and up/down pan steps
    double o = 0.0, t = 0.0; // middle: move along up, roll about forward
    double m = 0.0, l = 0.0; // right: yaw about up, pitch about side
    if (buttons & GUIEventAdapter::LEFT_MOUSE_BUTTON) {
        // A marker being dragged owns the left button.
        if (m_dragLock)
            return;
        const Steps s = takeSteps(x, y, false);
        u = s.horizontal;
        w = s.vertical;
    } else if (buttons & GUIEventAdapter::MIDDLE_MOUSE_BUTTON) {
        const Steps s = takeSteps(x, y, true);
        t = 0.01 * s.horizontal;
        // The step direction is measured from where the button went down.
        if (s.vertical != 0)
            o = y > m_pressY ? 1.0 : -1.0;
    } else if (buttons & GUIEventAdapter::RIGHT_MOUSE_BUTTON) {
        const Steps s = takeSteps(x, y, true);
        m = -1.5 * s.horizontal;
        l = -1.5 * s.vertical;
    } else {
        return;
    }
    if (u == 0.0 && w == 0.0 && o == 0.0 && t == 0.0 && m == 0.0 && l == 0.0)
        return;

    const osg::Matrixd current = getMatrix();
    const osg::Quat rotation = getRotation();
    const osg::Vec3d up = rotation * osg::Vec3d(0.0, 1.0, 0.0);
    const osg::Vec3d forward = rotation * osg::Vec3d(0.0, 0.0, -1.0);
    const osg::Vec3d side = rotation * osg::Vec3d(1.0, 0.0, 0.0);

    const osg::Quat turned = rotation * osg::Quat(m, up) * osg::Quat(-l, side) * osg::Quat(t, forward);
    const osg::Vec3d moved = current.getTrans() + rotation * osg::Vec3d(4.0 * u, o, -2.0 * w);
    setByMatrix(osg::Matrixd::rotate(turned) * osg::Matrixd::translate(moved));
}

bool MapManipulator::usesKey(int key)
{
    switch (key) {
    case 'A':
    case 'a':
    case 'D':
    case 'd':
    case 'S':
    case 's':
    case 'W':
    case 'w':
        return true;
    default:
        return false;
    }
}

void MapManipulator::handleKey(const GUIEventAdapter& ea)
{
    osg::Matrixd m = getMatrix();
    switch (ea.getKey()) {
    case 'A':
    case 'a':
        m = m * osg::Matrixd::rotate(-0.1, osg::Vec3d(0.0, 1.0, 0.0));
        break;
    case 'D':
    case 'd':
        m = m * osg::Matrixd::rotate(0.1, osg::Vec3d(0.0, 1.0, 0.0));
        break;
    case 'S':
    case 's':
        m = m * osg::Matrixd::rotate(0.1, osg::Vec3d(1.0, 0.0, 0.0));
        break;
    case 'W':
    case 'w':
        m = m * osg::Matrixd::rotate(-0.1, osg::Vec3d(1.0, 0.0, 0.0));
        break;
    default:
        break;
    }
    setByMatrix(m);
}
