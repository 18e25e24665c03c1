#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "PairMatcher.h"
#include "PairSelection.h"

// One Pairolo run: matches the pairs of a matchList file (lines "featureA
// featureB i j", the .keyb paths and the images' list indices) and writes the
// verified matches twice: as the match table named on the command line
// (matches.init_i.txt) and as the viewer's records in gpu_<name> beside it.
// Records of pairs not matched in this run are kept from the files already
// there, so a run over new images adds to the earlier batches. Only the
// pairs PairSelection finds worth it are verified, chosen over all batches
// of the plan (the matchList_<n> files beside this one); the others are
// written as having no match.
class PairoloRun
{
public:
    // Photos' features are loaded when a pair needs them and kept while they
    // fit memoryBudget bytes (0: a quarter of the memory the machine has
    // available, as another matcher run may share it). Exit code: 0 when every pair was examined, whether
    // verified or not (photos that do not overlap are no error); 1 when an input was unusable, with the
    // reason as the last line on err. Results are written in both cases.
    static int run(const std::string& matchListPath, const std::string& matchTablePath,
                   const PairMatcher::Settings& settings, int threads, std::ostream& out, std::ostream& err,
                   const PairSelection::Settings& selection = {}, std::uint64_t memoryBudget = 0);

    // The viewer's match file for a match table: "gpu_" before its file name.
    static std::string gpuPathFor(const std::string& matchTablePath);
};
