// OrthoDsm: the elevation model and the orthophoto of a georeferenced
// reconstruction, as GeoTIFF files a GIS opens (see OrthoOptions.h).

#include <iostream>
#include <string>
#include <vector>

#include "OrthoDsmRun.h"
#include "OrthoOptions.h"
#include "common/system/StopSignals.h"

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    OrthoOptions options;
    std::string error;
    if (!options.parse(arguments, error)) {
        std::cerr << "OrthoDsm: " << error << " (" << OrthoOptions::usage() << ")" << std::endl;
        return 2;
    }
    // Ended by the workbench or the user: the run stops at its next tile and
    // removes its partial rasters.
    const std::atomic<bool>* stop = StopSignals::install();
    OrthoDsmRun run;
    if (!run.run(options, std::cout, error, stop)) {
        if (*stop)
            error = "stopped; nothing was written";
        std::cerr << "OrthoDsm: " << error << std::endl;
        return 1;
    }
    return 0;
}
