#include "OrthoPhoto.h"

#include <cmath>

bool OrthoPhoto::project(const double point[3], double& x, double& y) const
{
    const double d[3] = {point[0] - centre[0], point[1] - centre[1], point[2] - centre[2]};
    const double* m = toCamera;
    const double cz = m[6] * d[0] + m[7] * d[1] + m[8] * d[2];
    if (!(cz > 0))
        return false;
    const double ux = (m[0] * d[0] + m[1] * d[1] + m[2] * d[2]) / cz;
    const double uy = (m[3] * d[0] + m[4] * d[1] + m[5] * d[2]) / cz;
    if (hasLens) {
        // The lens counts pixels from the top-left pixel's centre.
        lens.pixelOf(ux, uy, x, y);
        x += 0.5;
        y += 0.5;
        return std::isfinite(x) && std::isfinite(y);
    }
    // The measurement whose undistortion gives u: solve rho (1 + r rho^2) = |u|
    // on the radius normalised by the focal length (Newton from rho = |u|).
    double scale = 1;
    const double ru = std::sqrt(ux * ux + uy * uy);
    if (radial != 0 && ru > 0) {
        double rho = ru;
        for (int i = 0; i < 8; ++i) {
            const double g = rho * (1 + radial * rho * rho) - ru;
            const double slope = 1 + 3 * radial * rho * rho;
            if (slope <= 0)
                return false; // beyond the fold of the distortion: no pixel maps here
            rho -= g / slope;
        }
        if (!(rho > 0))
            return false;
        scale = rho / ru;
    }
    x = focal * ux * scale + width / 2.0;
    y = focal * uy * scale + height / 2.0;
    return true;
}

double OrthoPhoto::offNadir(const double point[3]) const
{
    const double dx = centre[0] - point[0], dy = centre[1] - point[1], dz = centre[2] - point[2];
    return std::atan2(std::sqrt(dx * dx + dy * dy), dz);
}
