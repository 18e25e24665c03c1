#pragma once

// Converts between the two radial distortion models our files carry, both on
// coordinates normalised by the focal length:
//  - projection side (COLMAP, Bundler): distorted d = u (1 + k1 |u|^2 + k2 |u|^4)
//    of the undistorted u;
//  - measurement side (NVM): undistorted u = d (1 + r |d|^2).
// Neither is the exact inverse of the other, so each conversion is the least
// squares fit over the radii an image covers (0 to maxRadius, the half
// diagonal over the focal length). A radius that is not positive, or not a
// number, gives no distortion.
class RadialDistortion
{
public:
    static double nvmFromProjection(double k1, double k2, double maxRadius);
    static void projectionFromNvm(double r, double maxRadius, double& k1, double& k2);

    // maxRadius for an image of width x height pixels and a focal length in pixels.
    static double maxRadius(double width, double height, double focal);
};
