#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// Our VisualSfM: the sparse reconstruction the PBA scripts start.
//   VisualSfM sfm+import[+k=fx,cx,fy,cy] <listfocal> <sparse.nvm> <gpu_matches>
//   VisualSfM sfm[+k=fx,cx,fy,cy] <listfocal> <sparse.nvm>          (rerun)
// Imports the list's images with their .keyb features and the matcher's
// verified matches into a COLMAP database (in <nvm name>_colmap beside the
// NVM), maps it and writes the largest model as the NVM, its cameras named
// by the images' paths relative to the NVM's folder. The rerun maps the
// database of the first run again, or rebuilds it from gpu_matches.init.txt
// beside the NVM when the images or the calibration changed.
class VisualSfmRun
{
public:
    struct Options {
        std::string colmap = "colmap";
        int threads = 0;
    };

    // args without the program name. Exit code 0 when the NVM was written;
    // otherwise 1 (2 for a wrong command line) with the reason as the last
    // line on err.
    static int run(const std::vector<std::string>& args, const Options& options, std::ostream& out,
                   std::ostream& err);
};
