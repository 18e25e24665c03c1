#pragma once

#include <iosfwd>
#include <string>

#include "DenseLayout.h"
#include "DenseSource.h"

// Bundle2PMVS and Bundle2CMPMVS: the camera matrix of every placed camera
// (from the bundle and its image's size), the list of source images in view
// order, and the helper files the workbench's prepare script removes
// afterwards (prep_pmvs.sh and pmvs_options.txt, and pmvs.bat in the PMVS
// folder): a shell script that repeats the remaining preparation, an option
// file over all views, and a script that runs the matcher with it.
class DensePreparer
{
public:
    // listArg and bundleArg as given on the command line (for the helper
    // script). False with a one-line reason.
    static bool prepare(const DenseSource& source, const DenseLayout& layout, const std::string& listArg,
                        const std::string& bundleArg, std::string* error, std::ostream* log = nullptr);
};
