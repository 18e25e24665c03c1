#pragma once

#include <QtGlobal>

// Caps the frames a stream of scene changes asks for (sensor readings at 40
// a second) at a rate the eye can use: the first change is drawn at once,
// later ones wait for their turn, and changes that come while one waits
// share its frame, so the newest state is always drawn soon after it came.
class RedrawLimiter
{
public:
    explicit RedrawLimiter(int framesPerSecond) : m_intervalMs(1000 / qMax(1, framesPerSecond)) {}

    // A change at nowMs: 0 when its frame may be drawn now (which counts as
    // drawn), else the milliseconds until drawn() may be called for it.
    qint64 change(qint64 nowMs)
    {
        const qint64 due = m_lastMs + m_intervalMs;
        if (m_lastMs < 0 || nowMs >= due) {
            m_lastMs = nowMs;
            return 0;
        }
        return due - nowMs;
    }
    // The waiting frame was drawn at nowMs.
    void drawn(qint64 nowMs) { m_lastMs = nowMs; }

private:
    qint64 m_intervalMs;
    qint64 m_lastMs = -1;
};
