#pragma once

#include <cstdint>

// One point while the archive is built: its survey coordinates as doubles
// (a float relative to anything larger than the node it ends up in would
// round them) and its colour. Each node's points become floats relative to
// that node's own centre only when they are written. Thirty-two bytes with
// the padding spelled out, so the spooled records hold no stray bytes.
struct ArchivePoint {
    double x, y, z;
    std::uint8_t rgba[4];
    std::uint8_t unused[4];
};
static_assert(sizeof(ArchivePoint) == 32, "ArchivePoint is spooled as raw records");
