#include "common/geometry/RadialDistortion.h"

#include <cmath>

namespace
{
constexpr int samples = 64;
}

double RadialDistortion::maxRadius(double width, double height, double focal)
{
    if (focal <= 0)
        return 0;
    return 0.5 * std::hypot(width, height) / focal;
}

double RadialDistortion::nvmFromProjection(double k1, double k2, double maxRadius)
{
    if ((k1 == 0 && k2 == 0) || !(maxRadius > 0))
        return 0;
    // Minimise sum (u - d (1 + r d^2))^2 over r: a one-parameter linear fit.
    double num = 0, den = 0;
    for (int i = 1; i <= samples; ++i) {
        const double u = maxRadius * i / samples;
        const double d = u * (1 + k1 * u * u + k2 * u * u * u * u);
        num += (u - d) * d * d * d;
        den += d * d * d * d * d * d;
    }
    return den > 0 ? num / den : 0;
}

void RadialDistortion::projectionFromNvm(double r, double maxRadius, double& k1, double& k2)
{
    k1 = k2 = 0;
    if (r == 0 || !(maxRadius > 0))
        return;
    // Minimise sum (d - u - k1 u^3 - k2 u^5)^2 over k1, k2: 2 x 2 normal equations.
    double a11 = 0, a12 = 0, a22 = 0, b1 = 0, b2 = 0;
    for (int i = 1; i <= samples; ++i) {
        const double d = maxRadius * i / samples;
        const double u = d * (1 + r * d * d);
        const double u3 = u * u * u, u5 = u3 * u * u;
        a11 += u3 * u3;
        a12 += u3 * u5;
        a22 += u5 * u5;
        b1 += (d - u) * u3;
        b2 += (d - u) * u5;
    }
    const double det = a11 * a22 - a12 * a12;
    if (!(std::abs(det) > 1e-300)) {
        k1 = a11 > 0 ? b1 / a11 : 0;
        return;
    }
    k1 = (b1 * a22 - b2 * a12) / det;
    k2 = (a11 * b2 - a12 * b1) / det;
}
