#pragma once

#include <iosfwd>
#include <string>

#include "SiftExtractor.h"

// One SiftGPUMax run: every image of an sfmlist file (one "JPG name" per
// line) gets its .keyb file (the name's last three characters replaced by
// "keyb") and Lowe's .key beside it. Prints one line per image with its
// feature count; images that cannot be done are reported and the others
// still done.
class FeatureDetection
{
public:
    // Exit code: 0 when every image got its files, 1 otherwise; the last line
    // on err then says why.
    static int run(const std::string& listPath, const SiftExtractor::Settings& settings, int threads,
                   std::ostream& out, std::ostream& err);
};
