// Points2Archive: builds a level-of-detail point archive (.osga) that the
// workbench's 3D view pages in, from a PLY or text point cloud of any size.

#include "ArchiveOptions.h"
#include "Points2Archive.h"
#include "common/system/StopSignals.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    ArchiveOptions options;
    std::string error;
    if (!options.parse(arguments, error)) {
        std::cerr << "Points2Archive: " << error << " (" << ArchiveOptions::usage() << ")" << std::endl;
        return 2;
    }
    // Ended by the workbench (it quits) or by the user: the run stops at its
    // next step and removes its intermediate files and the partial archive.
    OctreeBuilder::Settings settings;
    settings.stop = StopSignals::install();
    if (!Points2Archive::run(options, std::cout, error, settings)) {
        if (StopSignals::requested())
            error = "stopped; nothing of " + options.archivePath() + " was kept";
        std::cerr << "Points2Archive: " << error << std::endl;
        return 1;
    }
    return 0;
}
