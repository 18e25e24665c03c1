// Points2Archive: builds a level-of-detail point archive (.osga) that the
// workbench's 3D view pages in, from a PLY or text point cloud of any size.

#include "ArchiveOptions.h"
#include "Points2Archive.h"

#include <atomic>
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

namespace
{

std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void stopOnSignal(int)
{
    stopRequested = true;
}

// Ended by the workbench (it quits) or by the user: the run stops at its
// next step and removes its intermediate files and the partial archive. No
// SA_RESTART, so a read waiting for input returns at once.
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
    ArchiveOptions options;
    std::string error;
    if (!options.parse(arguments, error)) {
        std::cerr << "Points2Archive: " << error << " (" << ArchiveOptions::usage() << ")" << std::endl;
        return 2;
    }
    handleStopSignals();
    OctreeBuilder::Settings settings;
    settings.stop = &stopRequested;
    if (!Points2Archive::run(options, std::cout, error, settings)) {
        if (stopRequested)
            error = "stopped; nothing of " + options.archivePath() + " was kept";
        std::cerr << "Points2Archive: " << error << std::endl;
        return 1;
    }
    return 0;
}
