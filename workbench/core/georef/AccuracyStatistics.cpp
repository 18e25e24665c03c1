#include "core/georef/AccuracyStatistics.h"

#include <algorithm>
#include <cmath>

namespace
{

double normalCdf(double x)
{
    return 0.5 * std::erfc(-x / std::sqrt(2.0));
}

// The probability that a normal error of standard deviations sx, sy lies
// within radius r: over x = r sin t the integrand is smooth at the ends.
double within(double sx, double sy, double r)
{
    const int steps = 400; // even, Simpson's rule
    const double h = M_PI / steps;
    double sum = 0;
    for (int i = 0; i <= steps; ++i) {
        const double t = -M_PI / 2 + i * h;
        const double x = r * std::sin(t);
        const double half = r * std::cos(t);
        const double density = std::exp(-0.5 * (x / sx) * (x / sx)) / (sx * std::sqrt(2 * M_PI));
        const double f = density * (2 * normalCdf(half / sy) - 1) * half;
        sum += f * (i == 0 || i == steps ? 1 : (i % 2 ? 4 : 2));
    }
    return sum * h / 3;
}

} // namespace

double AccuracyStatistics::circularError(double sx, double sy, double probability)
{
    const double large = std::max(sx, sy), small = std::min(sx, sy);
    if (!(large > 0))
        return 0;
    // One axis without error: a linear error along the other.
    if (!(small > large * 1e-9)) {
        double low = 0, high = 20 * large;
        for (int i = 0; i < 200 && high - low > 1e-15 * high; ++i) {
            const double mid = 0.5 * (low + high);
            (2 * normalCdf(mid / large) - 1 < probability ? low : high) = mid;
        }
        return 0.5 * (low + high);
    }
    double low = 0, high = 20 * large;
    for (int i = 0; i < 200 && high - low > 1e-13 * high; ++i) {
        const double mid = 0.5 * (low + high);
        (within(sx, sy, mid) < probability ? low : high) = mid;
    }
    return 0.5 * (low + high);
}

AccuracyStatistics AccuracyStatistics::of(const std::vector<osg::Vec3d>& residuals)
{
    AccuracyStatistics s;
    s.count = int(residuals.size());
    if (residuals.empty())
        return s;
    osg::Vec3d squares, sums;
    for (const osg::Vec3d& r : residuals)
        for (int k = 0; k < 3; ++k) {
            squares[k] += r[k] * r[k];
            sums[k] += r[k];
        }
    const double n = double(residuals.size());
    s.rmseX = std::sqrt(squares.x() / n);
    s.rmseY = std::sqrt(squares.y() / n);
    s.rmseZ = std::sqrt(squares.z() / n);
    s.meanX = sums.x() / n;
    s.meanY = sums.y() / n;
    s.meanZ = sums.z() / n;
    s.rmseHorizontal = std::sqrt(s.rmseX * s.rmseX + s.rmseY * s.rmseY);
    s.rmseVertical = s.rmseZ;
    s.le90 = linear90 * s.rmseZ;
    s.le95 = linear95 * s.rmseZ;
    const double large = std::max(s.rmseX, s.rmseY), small = std::min(s.rmseX, s.rmseY);
    s.approximated = !(large > 0) || small >= nearlyCircular * large;
    if (s.approximated) {
        const double circular = 0.5 * (s.rmseX + s.rmseY);
        s.ce90 = circular90 * circular;
        s.ce95 = circular95 * circular;
    } else {
        s.ce90 = circularError(s.rmseX, s.rmseY, 0.90);
        s.ce95 = circularError(s.rmseX, s.rmseY, 0.95);
    }
    return s;
}
