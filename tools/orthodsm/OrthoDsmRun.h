#pragma once

#include <atomic>
#include <iosfwd>
#include <string>

#include "OrthoOptions.h"
#include "RasterGrid.h"

// One run of OrthoDsm: checks the input, reads the dense clouds into survey
// coordinates, lays out both grids on the clouds' extent, writes the
// elevation model and then the orthophoto under temporary names, and renames
// both into place only when both are whole.
class OrthoDsmRun
{
public:
    RasterGrid dsmGrid, orthoGrid; // as laid out by the last run
    int epsg = 0;

    // Progress lines go to progress; false with a one-line reason, and
    // nothing left in the output folder.
    bool run(const OrthoOptions& options, std::ostream& progress, std::string& error,
             const std::atomic<bool>* stop = nullptr);

    static constexpr const char* dsmName = "dsm.tif";
    static constexpr const char* orthoName = "orthophoto.tif";
};
