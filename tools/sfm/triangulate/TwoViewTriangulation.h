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

    // False with a reason when the rays are parallel or meet behind a camera.
    static bool triangulate(const Observation& a, const Observation& b, std::array<double, 3>& point,
                            std::string* error = nullptr);
};
