// OrthoDsm: the elevation model and the orthophoto of a georeferenced
// reconstruction, as GeoTIFF files a GIS opens (see OrthoOptions.h).

#include <atomic>
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "OrthoDsmRun.h"
#include "OrthoOptions.h"

namespace
{

std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void stopOnSignal(int)
{
    stopRequested = true;
}

// Ended by the workbench or the user: the run stops at its next tile and
// removes its partial rasters.
void handleStopSignals()
{
    struct sigaction action = {};
    action.sa_handler = stopOnSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    OrthoOptions options;
    std::string error;
    if (!options.parse(arguments, error)) {
        std::cerr << "OrthoDsm: " << error << " (" << OrthoOptions::usage() << ")" << std::endl;
        return 2;
    }
    handleStopSignals();
    OrthoDsmRun run;
    if (!run.run(options, std::cout, error, &stopRequested)) {
        if (stopRequested)
            error = "stopped; nothing was written";
        std::cerr << "OrthoDsm: " << error << std::endl;
        return 1;
    }
    return 0;
}
