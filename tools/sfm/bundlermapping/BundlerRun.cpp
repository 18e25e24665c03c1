#include "BundlerRun.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>
#include <sstream>

#include "ColmapReconstruction.h"
#include "ImageListFile.h"
#include "MatchTableFile.h"
#include "ToolPaths.h"
#include "common/images/ExifFocal.h"

namespace fs = std::filesystem;

namespace
{

struct BundlerOptions {
    std::string matchTable;
    std::string output = "bundle.out";
    std::string outputDir = ".";
    bool useFocalEstimate = false;
    bool estimateDistortion = false;
};

// Options from the command line and the options file, "--name [value]" each;
// options Bundler knows but we have no use for are accepted and passed over.
bool parseOptions(const std::vector<std::string>& words, BundlerOptions& o, std::ostream& out,
                  std::string& error)
{
    static const std::vector<std::string> flags = {"--variable_focal_length", "--use_focal_estimate",
                                                   "--constrain_focal", "--estimate_distortion",
                                                   "--run_bundle"};
    static const std::vector<std::string> valued = {
        "--match_table", "--output", "--output_all", "--output_dir", "--constrain_focal_weight",
        "--options_file"};
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string& w = words[i];
        if (std::find(flags.begin(), flags.end(), w) != flags.end()) {
            if (w == "--use_focal_estimate")
                o.useFocalEstimate = true;
            else if (w == "--estimate_distortion")
                o.estimateDistortion = true;
            continue;
        }
        if (std::find(valued.begin(), valued.end(), w) != valued.end()) {
            if (i + 1 >= words.size()) {
                error = w + " needs a value";
                return false;
            }
            const std::string& v = words[++i];
            if (w == "--match_table")
                o.matchTable = v;
            else if (w == "--output")
                o.output = v;
            else if (w == "--output_dir")
                o.outputDir = v;
            continue;
        }
        out << "Ignoring the option " << w << std::endl;
    }
    return true;
}

bool readOptionsFile(const std::string& path, std::vector<std::string>& words, std::string& error)
{
    std::ifstream in(ToolPaths::native(path), std::ios::binary);
    if (!in) {
        error = "cannot read the options file " + path;
        return false;
    }
    for (std::string w; in >> w;)
        words.push_back(w);
    return true;
}

// The match table, or when it was never assembled (the Bundler script does not
// concatenate the matcher's batches) the batches beside it: name_0.ext, name_1.ext, ...
bool readMatches(const std::string& tablePath, MatchTableFile& table, std::ostream& out, std::string& error)
{
    const std::string path = ToolPaths::native(tablePath);
    if (fs::exists(path))
        return table.readFile(path, &error);
    const fs::path p(path);
    bool any = false;
    for (int i = 0;; ++i) {
        const fs::path batch =
            p.parent_path() / (p.stem().string() + "_" + std::to_string(i) + p.extension().string());
        if (!fs::exists(batch))
            break;
        MatchTableFile part;
        if (!part.readFile(batch.string(), &error))
            return false;
        table.merge(part);
        any = true;
        out << "Reading the matcher's batch " << batch.string() << std::endl;
    }
    if (!any)
        error = "no match table " + path + " (nor its batches)";
    return any;
}

// The list's focal length is Bundler's estimate. The workbench writes its
// calibration there, which is only right for the camera it was measured on:
// with EXIF at hand, an estimate more than 25% off the EXIF focal length
// gives way to it; without, an estimate outside 0.3 to 5 image widths (no
// lens a survey uses) is left to COLMAP's own guess.
double startingFocal(double listed, const ColmapReconstruction::ListedImage& image, std::ostream& out)
{
    const std::string name = fs::path(image.image.path).filename().string();
    std::string source, warning;
    const double exif = ExifFocal::fromXmlFile(ExifFocal::xmlPathForImage(image.image.path), image.width,
                                               image.height, &source, &warning);
    if (!warning.empty())
        out << name << ": " << warning << '\n';
    if (exif > 0) {
        if (listed > 0 && std::abs(listed / exif - 1) <= 0.25)
            return listed;
        if (listed > 0)
            out << name << ": the list's focal length " << listed << " px is far from the EXIF " << source
                << " (" << exif << " px); taking the latter" << '\n';
        return exif;
    }
    const double side = std::max(image.width, image.height);
    if (listed > 0 && (listed < 0.3 * side || listed > 5 * side)) {
        out << name << ": the list's focal length " << listed << " px does not fit a " << image.width << " x "
            << image.height << " image; left to COLMAP" << '\n';
        return 0;
    }
    return listed;
}

} // namespace

int BundlerRun::run(const std::vector<std::string>& args, const Options& options, std::ostream& out,
                    std::ostream& err)
{
    auto failed = [&err](const std::string& why, int code = 1) {
        err << "Bundler: " << why << std::endl;
        return code;
    };
    if (args.empty() || args.front().rfind("--", 0) == 0)
        return failed("usage: Bundler <image list> --options_file <options> [options]", 2);
    std::vector<std::string> words;
    std::string error;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--options_file" && i + 1 < args.size()) {
            if (!readOptionsFile(args[i + 1], words, error))
                return failed(error);
            ++i;
        } else {
            words.push_back(args[i]);
        }
    }
    BundlerOptions o;
    if (!parseOptions(words, o, out, error))
        return failed(error, 2);
    if (o.matchTable.empty())
        return failed("no --match_table given", 2);

    std::vector<ColmapReconstruction::ListedImage> listed;
    if (!ColmapReconstruction::readImageList(args.front(), listed, out, &error))
        return failed(error);
    std::vector<ColmapReconstruction::Image> images;
    for (auto& l : listed) {
        l.image.focal = startingFocal(o.useFocalEstimate ? l.listedFocal : 0, l, out);
        l.image.camera = ExifFocal::cameraFromXmlFile(ExifFocal::xmlPathForImage(l.image.path));
        images.push_back(l.image);
    }

    MatchTableFile table;
    if (!readMatches(o.matchTable, table, out, error))
        return failed(error);
    table.removeDuplicates();
    std::vector<ColmapReconstruction::Match> matches;
    for (auto& p : table.pairs)
        matches.push_back({p.first, p.second, std::move(p.matches)});

    const fs::path outputDir = fs::path(ToolPaths::native(o.outputDir));
    std::error_code ec;
    fs::create_directories(outputDir, ec);
    ColmapReconstruction::Settings settings;
    settings.workFolder = (outputDir / "colmap").string();
    settings.colmap = options.colmap;
    settings.threads = options.threads;
    // COLMAP estimates k2 without a prior, which few photos cannot carry: k1 only.
    settings.cameraModel = o.estimateDistortion ? "SIMPLE_RADIAL" : "SIMPLE_PINHOLE";
    fs::create_directories(settings.workFolder, ec);
    ColmapReconstruction reconstruction(settings);
    if (!reconstruction.importData(images, matches, out, &error))
        return failed(error);
    ColmapModel model;
    if (!reconstruction.map(model, out, &error))
        return failed(error + " (COLMAP's log: " + reconstruction.logPath() + ")");

    std::vector<std::string> order;
    for (const auto& im : images)
        order.push_back(reconstruction.colmapName(im.path));
    const BundlerFile bundle = model.toBundler(order);
    const std::string bundlePath = (outputDir / o.output).string();
    if (!bundle.writeFile(bundlePath, &error))
        return failed(error);
    ImageListFile written;
    for (size_t i = 0; i < images.size(); ++i) {
        std::string path = images[i].path;
        std::replace(path.begin(), path.end(), '/', '\\');
        written.entries.push_back({path, bundle.cameras[i].focal});
    }
    if (!written.writeFile((outputDir / "list.txt").string(), true, &error))
        return failed(error);
    int registered = 0;
    for (size_t i = 0; i < bundle.cameras.size(); ++i) {
        if (bundle.cameras[i].registered())
            ++registered;
        else
            out << "Not registered: " << images[i].path << '\n';
    }
    out << "Registered " << registered << " of " << images.size() << " images, " << bundle.points.size()
        << " points, mean reprojection error " << model.meanReprojectionError() << " px" << std::endl;
    out << "Wrote " << bundlePath << std::endl;
    return 0;
}
