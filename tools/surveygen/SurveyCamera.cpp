#include "SurveyCamera.h"

#include <algorithm>
#include <cmath>

namespace
{

void normalise(double v[3])
{
    const double n = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    for (int i = 0; i < 3; ++i)
        v[i] /= n;
}

void cross(const double a[3], const double b[3], double out[3])
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

} // namespace

void SurveyCamera::lookAlong(const double forward[3], const double right[3])
{
    double z[3] = {forward[0], forward[1], forward[2]};
    normalise(z);
    // y (down in the image) completes a right-handed frame with x right and z forward.
    double y[3], x[3];
    cross(z, right, y);
    normalise(y);
    cross(y, z, x);
    for (int i = 0; i < 3; ++i) {
        rotation[0][i] = x[i];
        rotation[1][i] = y[i];
        rotation[2][i] = z[i];
    }
}

bool SurveyCamera::project(const double point[3], double* x, double* y) const
{
    double p[3];
    for (int r = 0; r < 3; ++r) {
        p[r] = 0;
        for (int c = 0; c < 3; ++c)
            p[r] += rotation[r][c] * (point[c] - centre[c]);
    }
    if (p[2] <= 0)
        return false;
    *x = fx * p[0] / p[2] + cx;
    *y = fy * p[1] / p[2] + cy;
    distort(x, y);
    return true;
}

void SurveyCamera::ray(double x, double y, double direction[3]) const
{
    undistort(&x, &y);
    const double c[3] = {(x - cx) / fx, (y - cy) / fy, 1};
    for (int i = 0; i < 3; ++i)
        direction[i] = rotation[0][i] * c[0] + rotation[1][i] * c[1] + rotation[2][i] * c[2];
    normalise(direction);
}

void SurveyCamera::distort(double* x, double* y) const
{
    if (k1 == 0 && k2 == 0)
        return;
    const double u = (*x - cx) / fx, v = (*y - cy) / fy, r2 = u * u + v * v;
    const double scale = 1 + k1 * r2 + k2 * r2 * r2;
    *x = fx * u * scale + cx;
    *y = fy * v * scale + cy;
}

void SurveyCamera::undistort(double* x, double* y) const
{
    if (k1 == 0 && k2 == 0)
        return;
    const double u = (*x - cx) / fx, v = (*y - cy) / fy, rd = std::sqrt(u * u + v * v);
    if (rd == 0)
        return;
    // Newton on r (1 + k1 r^2 + k2 r^4) = rd from r = rd.
    double r = rd;
    for (int k = 0; k < 50; ++k) {
        const double r2 = r * r;
        const double f = r * (1 + k1 * r2 + k2 * r2 * r2) - rd, d = 1 + 3 * k1 * r2 + 5 * k2 * r2 * r2;
        const double step = f / d;
        r -= step;
        if (std::abs(step) < 1e-15 * (1 + r))
            break;
    }
    *x = fx * u * (r / rd) + cx;
    *y = fy * v * (r / rd) + cy;
}

bool SurveyCamera::lensIsMonotonic() const
{
    // The undistorted radius of the farthest corner, found by walking out
    // while the distorted radius keeps growing.
    const double u = std::max(cx, width - cx) / fx, v = std::max(cy, height - cy) / fy;
    const double corner = std::sqrt(u * u + v * v);
    double last = 0;
    for (double r = 0.001;; r += 0.001) {
        const double r2 = r * r, rd = r * (1 + k1 * r2 + k2 * r2 * r2);
        if (rd <= last)
            return false;
        if (rd >= corner * 1.02)
            return true;
        if (r > 10 * corner)
            return false;
        last = rd;
    }
}
