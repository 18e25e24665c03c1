#pragma once

#include <array>
#include <vector>

// The plane most sparse points lie on (the ground of a site, the facade of
// a building), found by RANSAC and refined by least squares over its
// inliers. The dense matcher sweeps planes parallel to it besides the
// frontal ones.
class DominantPlane
{
public:
    std::array<double, 3> normal{}; // unit
    double offset = 0;              // normal . X = offset on the plane
    double share = 0;               // of the points within the tolerance

    // tolerance: distance from the plane that counts as on it. False when
    // fewer than minShare of the points lie on any plane tried.
    bool find(const std::vector<std::array<double, 3>>& points, double tolerance, double minShare = 0.3);
};
