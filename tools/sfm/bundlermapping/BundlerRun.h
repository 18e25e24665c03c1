#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// Our Bundler: the sparse reconstruction runBundler2.bat starts.
//   Bundler <listfocal> --options_file <options.txt> [--option value ...]
// The list holds "image 0 focal" lines (or bare image names); the options
// are Bundler's (--match_table, --output, --output_dir,
// --variable_focal_length, --use_focal_estimate, --constrain_focal,
// --constrain_focal_weight, --estimate_distortion, --run_bundle,
// --output_all). The reconstruction is COLMAP's, from our features and the
// match table; the result is written as <output_dir>/<output> in Bundler's
// v0.3 format with one camera per list entry in list order (all zero when
// not registered), and <output_dir>/list.txt names the images.
class BundlerRun
{
public:
    struct Options {
        std::string colmap = "colmap";
        int threads = 0;
    };

    static int run(const std::vector<std::string>& args, const Options& options, std::ostream& out,
                   std::ostream& err);
};
