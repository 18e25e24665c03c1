#pragma once

#include <cstdint>
#include <string_view>

// The machine's memory as Linux reports it in /proc/meminfo: the workbench
// describes the machine a stage ran on with it, the tools size their work
// to what is available without swapping.
struct MachineMemory {
    std::uint64_t totalBytes = 0;     // MemTotal
    std::uint64_t availableBytes = 0; // MemAvailable

    // Reads the MemTotal and MemAvailable lines ("MemTotal:  24683772 kB")
    // of meminfo text. False, and both 0, unless both are there as whole
    // numbers of kB.
    static bool parse(std::string_view text, MachineMemory& memory);

    // This machine now; false, and both 0, where /proc/meminfo cannot be
    // read (not Linux) or holds no such lines.
    static bool current(MachineMemory& memory);
    // What this machine can give now without swapping (MemAvailable); 0
    // where it cannot be read.
    static std::uint64_t available();
};
