#pragma once

#include <osgGA/OrbitManipulator>

// Map-style navigation: the mouse moves the camera in fixed 12-pixel steps
// (left pans, middle rolls and moves up or down, right turns), the wheel moves
// it forward and back, A/D/S/W turn it. The picking controller locks the left
// button while the user drags a marker. Every event is passed on, so the
// picking controller and the other handlers see it too.
class MapManipulator : public osgGA::OrbitManipulator
{
public:
    // Pixels the pointer has to travel for one step.
    static constexpr int stepPixels = 12;

    explicit MapManipulator(int flags = DEFAULT_SETTINGS);

    const char* className() const override { return "MapManipulator"; }

    bool handle(const osgGA::GUIEventAdapter& ea, osgGA::GUIActionAdapter& aa) override;

    // The keys that turn the camera: A, D, S and W in either case.
    static bool usesKey(int key);

    void setDragLock(bool lock) { m_dragLock = lock; }
    bool dragLock() const { return m_dragLock; }

    int lastX() const { return m_lastX; }
    int lastY() const { return m_lastY; }
    int pressY() const { return m_pressY; }

private:
    struct Steps {
        int horizontal = 0; // +1 right, -1 left, 0 none
        int vertical = 0;   // +1 growing y, -1 shrinking y, 0 none
    };
    // Moves the step bases toward the pointer; strict is for the buttons that
    // need more than a full step of travel.
    Steps takeSteps(int x, int y, bool strict);
    void handleScroll(const osgGA::GUIEventAdapter& ea);
    void handleDrag(const osgGA::GUIEventAdapter& ea);
    void handleKey(const osgGA::GUIEventAdapter& ea);

    // Zero means "no step base": a drag without a press takes no steps.
    int m_lastX = 0;
    int m_lastY = 0;
    int m_pressY = 0;
    bool m_dragLock = false;
};
