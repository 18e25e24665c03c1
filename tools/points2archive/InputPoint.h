#pragma once

#include <cstdint>

// One point as the input gives it: survey coordinates in double precision and
// its colour as bytes (alpha always 255).
struct InputPoint {
    double x, y, z;
    std::uint8_t rgba[4];
};
