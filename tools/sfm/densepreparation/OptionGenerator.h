#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "DenseLayout.h"
#include "PmvsOptions.h"

// genOption: one option file per cluster of ske.dat (option-0000, ...) with
// the matcher's parameters, and pmvs_all.bat, which runs pmvs2 on each in
// turn (pmvs2 is called beside genOption).
class OptionGenerator
{
public:
    // "level csize threshold wsize minImageNum cpus" into options; false
    // with a reason when a word is not a number or a value is unusable.
    static bool parse(const std::vector<std::string>& words, PmvsOptions& options, std::string* error);
    // options' image lists are replaced by each cluster's.
    static bool write(const DenseLayout& layout, const std::string& folderArg, const PmvsOptions& options,
                      std::string* error, std::ostream* log = nullptr);
};
