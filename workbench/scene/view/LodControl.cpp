#include "scene/view/LodControl.h"

#include <algorithm>

void LodControl::enable(double referenceTime, unsigned frameNumber)
{
    m_enabled = true;
    m_paused = false;
    m_lastTime = referenceTime;
    m_lastFrame = frameNumber;
}

double LodControl::update(double referenceTime, unsigned frameNumber, double lodScale)
{
    if (!m_enabled)
        return lodScale;
    if (m_paused) {
        m_paused = false;
        m_lastTime = referenceTime;
        m_lastFrame = frameNumber;
        return lodScale;
    }
    const double elapsed = referenceTime - m_lastTime;
    if (!(elapsed > 0.25))
        return lodScale;
    const double framesPerSecond = double(frameNumber - m_lastFrame) / elapsed;
    if (framesPerSecond < 20.0)
        lodScale = std::min(lodScale * 1.1, maxLodScale);
    else if (framesPerSecond > 50.0 && lodScale > 1.0)
        lodScale /= 1.1;
    m_lastTime = referenceTime;
    m_lastFrame = frameNumber;
    return lodScale;
}
