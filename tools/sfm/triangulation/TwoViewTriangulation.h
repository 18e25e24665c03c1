#pragma once

#include <array>
#include <string>

#include "TriangulationCamera.h"

// The point two observations of the same spot stand for: each observation's
// radial distortion is removed, then the two rays are intersected by linear
// (DLT) triangulation.
class TwoViewTriangulation
{
public:
    struct Observation {
        const TriangulationCamera* camera = nullptr;
        double column = 0; // pixels from the image's top-left corner
        double row = 0;
    };

    // Rays closer to parallel than this give a point anywhere along them: a
    // pixel of error moves it by many times the baseline.
    static constexpr double minimumAngleDegrees = 1.0;

    // False with a reason when the rays meet at less than the minimum angle
    // (the same observation twice among them) or behind a camera.
    static bool triangulate(const Observation& a, const Observation& b, std::array<double, 3>& point,
                            std::string* error = nullptr);

    // The angle between the two observations' rays, in degrees.
    static double rayAngleDegrees(const Observation& a, const Observation& b);
};
