#include "SmokeTexture.h"

#include <QtMath>

#include <algorithm>
#include <cstdint>

namespace
{

// Repeatable value noise: a hashed lattice, smoothly interpolated.
double lattice(int x, int y)
{
    std::uint32_t h = std::uint32_t(x) * 374761393u + std::uint32_t(y) * 668265263u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return double((h ^ (h >> 16)) & 0xffff) / 65535.0;
}

double smooth(double t)
{
    return t * t * (3.0 - 2.0 * t);
}

double noise(double x, double y)
{
    const int x0 = int(std::floor(x));
    const int y0 = int(std::floor(y));
    const double fx = smooth(x - x0);
    const double fy = smooth(y - y0);
    const double top = lattice(x0, y0) * (1 - fx) + lattice(x0 + 1, y0) * fx;
    const double bottom = lattice(x0, y0 + 1) * (1 - fx) + lattice(x0 + 1, y0 + 1) * fx;
    return top * (1 - fy) + bottom * fy;
}

// Three octaves, 0..1.
double turbulence(double x, double y)
{
    return (noise(x, y) * 4 + noise(x * 2, y * 2) * 2 + noise(x * 4, y * 4)) / 7.0;
}

} // namespace

QImage SmokeTexture::draw(int size)
{
    QImage img(size, size, QImage::Format_ARGB32);
    const double centre = (size - 1) / 2.0;
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double dx = (x - centre) / centre;
            const double dy = (y - centre) / centre;
            const double r = std::sqrt(dx * dx + dy * dy);
            // Gaussian core reaching zero at the rim, broken up by the noise.
            const double falloff = r >= 1.0 ? 0.0 : std::exp(-3.0 * r * r) * (1.0 - r * r);
            const double t = turbulence(x * 6.0 / size, y * 6.0 / size);
            const double alpha = std::clamp(falloff * (0.45 + 0.8 * t), 0.0, 1.0);
            const int grey = int(std::lround(215 + 40 * t));
            img.setPixel(x, y, qRgba(grey, grey, grey, int(std::lround(alpha * 255))));
        }
    }
    return img;
}
