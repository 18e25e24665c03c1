#include "DensePreparer.h"

#include <filesystem>
#include <ostream>
#include <sstream>
#include <vector>

#include "common/files/AtomicFile.h"
#include "DenseBudget.h"
#include "MvsCamera.h"
#include "PmvsOptions.h"
#include "ToolLocation.h"
#include "ToolPaths.h"

namespace fs = std::filesystem;

namespace
{

std::string quoted(const std::string& s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// What an earlier preparation and its matcher left in the folder: views,
// undistorted images, clusters, options, depth maps and models. A view of a photo that
// has dropped out since would otherwise be matched with the new views.
bool clearEarlierRun(const DenseLayout& layout, std::string* error)
{
    std::error_code ec;
    std::vector<fs::path> files;
    for (const std::string& sub :
         {layout.cameraFolder(), layout.imageFolder(), layout.folder() + "models/", layout.depthMapFolder()})
        for (fs::directory_iterator it(sub, ec), end; !ec && it != end; it.increment(ec))
            if (it->is_regular_file(ec))
                files.push_back(it->path());
    ec.clear();
    for (fs::directory_iterator it(layout.folder(), ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (it->is_regular_file(ec) && (name == "vis.dat" || name == "ske.dat" || name == "bundle.rd.out" ||
                                        name.rfind("option-", 0) == 0 || name.rfind("centers-", 0) == 0))
            files.push_back(it->path());
    }
    for (const fs::path& f : files)
        if (!fs::remove(f, ec) && ec) {
            if (error)
                *error = "cannot remove " + f.string() + " of an earlier run: " + ec.message();
            return false;
        }
    return true;
}

} // namespace

bool DensePreparer::prepare(const DenseSource& source, const DenseLayout& layout, const std::string& listArg,
                            const std::string& bundleArg, std::string* error, std::ostream* log)
{
    const auto fail = [error](const std::string& text) {
        if (error)
            *error = text;
        return false;
    };
    std::error_code ec;
    fs::create_directories(layout.cameraFolder(), ec);
    if (ec)
        return fail("cannot create " + layout.cameraFolder() + ": " + ec.message());

    // Every camera is made before any is written: a damaged one leaves no
    // half-prepared folder behind.
    std::vector<MvsCamera> cameras(source.registered.size());
    for (size_t view = 0; view < source.registered.size(); ++view) {
        const int index = source.registered[view];
        const std::string& image = source.images[size_t(index)];
        // The size alone: the undistortion decodes each photo once, later.
        int width = 0, height = 0;
        if (!DenseBudget::imageSize(image, width, height))
            return fail("cannot read image " + image);
        CameraIntrinsics::Camera lens;
        if (!source.lens(index, width, height, lens, error))
            return false;
        if (!MvsCamera::fromBundler(source.bundle.cameras[size_t(index)], lens, cameras[view]))
            return fail("camera " + std::to_string(index) + " (" + image +
                        ") has a singular projection matrix: its pose in the bundle is damaged");
    }
    if (!clearEarlierRun(layout, error))
        return false;
    std::ostringstream list;
    for (size_t view = 0; view < source.registered.size(); ++view) {
        const int index = source.registered[view];
        const std::string& image = source.images[size_t(index)];
        if (!AtomicFile::write(layout.cameraFile(int(view)), cameras[view].contourText(), error))
            return false;
        list << image << '\n';
        if (log)
            *log << "camera " << index << " -> view " << view << " (" << image << ")\n";
    }
    if (!AtomicFile::write(layout.listFile(), list.str(), error))
        return false;

    const std::string folder = layout.folder();
    const std::string sfm = ToolLocation::sfmFolder();
    const std::string bundler = sfm + "BundleAdjustment/Bundler/";
    const bool pmvs = layout.kind() == DenseLayout::Kind::Pmvs;
    std::ostringstream prep;
    prep << "#!/bin/sh\n# Rest of the dense preparation of " << folder << ", written by "
         << (pmvs ? "Bundle2PMVS" : "Bundle2CMPMVS") << ".\nset -e\n"
         << quoted(bundler + (pmvs ? "RadialUndistort" : "RadialUndistortCMP")) << ' '
         << quoted(ToolPaths::native(listArg)) << ' ' << quoted(ToolPaths::native(bundleArg)) << ' '
         << quoted(folder) << '\n';
    if (pmvs)
        prep << quoted(bundler + "Bundle2Vis") << ' ' << quoted(layout.bundleFile()) << ' '
             << quoted(folder + "vis.dat") << '\n';
    if (!AtomicFile::write(folder + "prep_pmvs.sh", prep.str(), error))
        return false;

    PmvsOptions options;
    for (size_t view = 0; view < source.registered.size(); ++view)
        options.timages.push_back(int(view));
    if (!AtomicFile::write(folder + "pmvs_options.txt", options.text(), error))
        return false;
    if (pmvs) {
        const std::string run = "@ECHO off\n" +
                                ToolLocation::scriptPath(sfm + "DenseReconstruction/PMVS2/pmvs2.exe") + " " +
                                ToolLocation::scriptPath(folder) + " pmvs_options.txt\n";
        if (!AtomicFile::write(folder + "pmvs.bat", run, error))
            return false;
    }
    return true;
}
