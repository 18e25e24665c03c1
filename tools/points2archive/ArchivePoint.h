#pragma once

#include <cstdint>

// One point while the archive is built: its offset from the cloud's origin as
// floats (millimetres stay exact over kilometres) and its colour. Sixteen
// bytes, so the spooled files and the in-memory chunks stay compact.
struct ArchivePoint {
    float x, y, z;
    std::uint8_t rgba[4];
};
static_assert(sizeof(ArchivePoint) == 16, "ArchivePoint is spooled as raw records");
