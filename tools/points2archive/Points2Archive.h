#pragma once

#include "ArchiveOptions.h"
#include "OctreeBuilder.h"

#include <ostream>
#include <string>

// One whole conversion: reads the cloud once into the intermediate file,
// builds the level-of-detail tree into a temporary archive beside the result
// and renames it to out.osga when complete. Nothing of a failed run is left,
// nor of one stopped through settings.stop (it fails with "stopped").
class Points2Archive
{
public:
    struct Summary {
        long long points = 0;
        OctreeBuilder::Stats tree;
        double seconds = 0;
    };

    // Progress lines go to progress; false with a one-line reason in error.
    static bool run(const ArchiveOptions& options, std::ostream& progress, std::string& error,
                    const OctreeBuilder::Settings& settings = OctreeBuilder::Settings(),
                    Summary* summary = nullptr);
};
