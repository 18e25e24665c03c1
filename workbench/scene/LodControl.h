#pragma once

// Keeps the frame rate of paged point archives between 20 and 50 frames per
// second by trading their level of detail, checked at most every quarter second.
class LodControl
{
public:
    bool isEnabled() const { return m_enabled; }

    // Starts measuring from the given reference time and frame number.
    void enable(double referenceTime, unsigned frameNumber);
    // Off again (the last paged archive left the scene).
    void disable() { m_enabled = false; }

    // Called after every frame. Returns the camera's new LOD scale (unchanged
    // while disabled or until more than 0.25 s have passed since the last check).
    double update(double referenceTime, unsigned frameNumber, double lodScale);

private:
    bool m_enabled = false;
    double m_lastTime = 0;
    unsigned m_lastFrame = 0;
};
