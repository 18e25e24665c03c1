#pragma once

#include <iosfwd>
#include <string>

// CMPMVS <mvs.ini>: the same matcher on a prepared CMPMVS folder (the
// parent of the ini's dirName). Images and cameras are taken from the data
// folder as they are; the ini's ncams, width and height, which the
// workbench writes as fixed values, are not used (a differing ncams is
// noted in the log). scale 1, 2, 4, ... selects level 0, 1, 2, ...; [filter] minNumOfConsistentCams
// counts the views besides the reference that must agree. The cloud is
// written to <cmpmvs folder>/models/mvs.ply.
class CmpmvsRun
{
public:
    static bool run(const std::string& iniArg, std::string* error, std::ostream* log = nullptr);
    static std::string outputFile(const std::string& cmpmvsFolder);
};
