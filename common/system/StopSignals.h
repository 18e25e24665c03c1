#pragma once

#include <atomic>

// How a tool hears that it is to stop: the workbench ending a run (SIGTERM),
// the user at a terminal (SIGINT) or a closed session (SIGHUP) only set a
// flag, which the run reads between its steps; it then removes what it had
// begun and exits with a message instead of dying half-way through a file.
class StopSignals
{
public:
    // Takes the three signals (once is enough; again does no harm) and
    // returns the flag they set. Without SA_RESTART, so that a read waiting
    // for input returns at once.
    static const std::atomic<bool>* install();

    static bool requested();
};
