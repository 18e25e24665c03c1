#pragma once

// Keeps the frame rate of paged point archives between 20 and 50 frames per
// second by trading their level of detail, checked at most every quarter second.
// Frames are drawn on demand, so the rate is measured over runs of frames
// drawn one after the other: the time the view stood idle is no slowness.
class LodControl
{
public:
    // Never coarser than this: a view that was slow for a while (another
    // program busy, a slow frame whatever it shows) comes back to full
    // detail within seconds of running fast again.
    static constexpr double maxLodScale = 100.0;

    bool isEnabled() const { return m_enabled; }

    // Starts measuring from the given reference time and frame number.
    void enable(double referenceTime, unsigned frameNumber);
    // Off again (the last paged archive left the scene).
    void disable() { m_enabled = false; }

    // Called after every frame. Returns the camera's new LOD scale (unchanged
    // while disabled or until more than 0.25 s have passed since the last check).
    double update(double referenceTime, unsigned frameNumber, double lodScale);

    // No frame follows for now: the next update starts a new measurement.
    void pause() { m_paused = true; }

private:
    bool m_enabled = false;
    double m_lastTime = 0;
    unsigned m_lastFrame = 0;
    bool m_paused = false;
};
