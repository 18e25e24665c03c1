#pragma once
#include <QImage>

// The texture of the sensor display's smoke particles: a soft, slightly
// turbulent white puff whose alpha fades to nothing at the edge. The
// particles' own colours tint it.
class SmokeTexture
{
public:
    static QImage draw(int size);
};
