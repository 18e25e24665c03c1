#pragma once

#include <iosfwd>
#include <string>

// pmvs2 <pmvs folder> <option file name>: matches the option file's images
// of a prepared PMVS folder and writes models/<name>.ply and
// models/<name>.patch (the same PLY text; the workbench loads the latter).
class PmvsRun
{
public:
    static bool run(const std::string& folderArg, const std::string& optionName, std::string* error,
                    std::ostream* log = nullptr);
};
