#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "SiftExtractor.h"

// One SiftGPUMax run: every image of an sfmlist file (one "JPG name" per
// line) gets its .keyb file (the name's last three characters replaced by
// "keyb") and Lowe's .key beside it. Prints one line per image with its
// feature count. A photo that cannot be used (missing, undecodable,
// truncated, of a size no photo has, without features, or one a library
// throws on) is left out with a line saying why and gets empty feature
// files, so that the later tools and the list's other photos go on without it.
//
// Photos are done several at once, as many as the memory budget holds by
// their size (read from their headers before decoding) and the threads
// allow. The SIFT script runs its SiftGPUMax lines one after the other, so
// one run may take what the machine has available; it keeps a quarter of
// it for the workbench and the rest of the desktop.
class FeatureDetection
{
public:
    // Exit code: 0 when every listed photo was dealt with, counting those
    // left out (the list is one batch of the set: whether enough photos
    // remain is the reconstruction's to judge); 1 when the list cannot be
    // read or a feature file cannot be written, the last line on err then
    // says why. memoryBudget 0: three quarters of the machine's available
    // memory.
    static int run(const std::string& listPath, const SiftExtractor::Settings& settings, int threads,
                   std::ostream& out, std::ostream& err, std::uint64_t memoryBudget = 0);

    static std::uint64_t defaultMemoryBudget();
};
