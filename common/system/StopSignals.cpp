#include "common/system/StopSignals.h"

#include <csignal>
#include <initializer_list>

namespace
{

std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");

void stopOnSignal(int)
{
    stopRequested = true;
}

} // namespace

const std::atomic<bool>* StopSignals::install()
{
    struct sigaction action = {};
    action.sa_handler = stopOnSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaction(signal, &action, nullptr);
    return &stopRequested;
}

bool StopSignals::requested()
{
    return stopRequested;
}
