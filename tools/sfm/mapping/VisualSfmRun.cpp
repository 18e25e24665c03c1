#include "VisualSfmRun.h"

#include <filesystem>
#include <map>
#include <ostream>
#include <sstream>

#include "CameraIntrinsics.h"
#include "ColmapReconstruction.h"
#include "GpuMatchFile.h"
#include "ProgressLine.h"
#include "ToolPaths.h"
#include "common/formats/NvmFile.h"
#include "common/images/ExifFocal.h"
#include "common/numbers/NumberText.h"
#include "core/georef/ExifGps.h"

namespace fs = std::filesystem;

namespace
{

struct Command {
    bool import = false;
    bool calibrated = false;
    double fx = 0, cx = 0, fy = 0, cy = 0;
    std::string list, nvm, matches;
};

bool parseNumbers(const std::string& text, std::vector<double>& values)
{
    values.clear();
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    std::string item;
    while (std::getline(in, item, ',')) {
        double v = 0;
        if (!NumberText::readWord(item, v))
            return false;
        values.push_back(v);
    }
    return true;
}

// "sfm+import+k=..." (the scripts glue +k= to the command), or "+k=..." as a word of its own.
bool parseCommand(const std::vector<std::string>& args, Command& c, std::string& error)
{
    std::vector<std::string> words;
    for (const std::string& a : args) {
        if (words.empty() || a.rfind("+k=", 0) != 0)
            words.push_back(a);
        else
            words.front() += a;
    }
    if (words.empty()) {
        error = "no command";
        return false;
    }
    std::vector<std::string> parts;
    std::istringstream mode(words.front());
    for (std::string part; std::getline(mode, part, '+');)
        parts.push_back(part);
    if (parts.empty() || parts.front() != "sfm") {
        error = "unknown command \"" + words.front() + "\" (expected sfm or sfm+import)";
        return false;
    }
    for (size_t i = 1; i < parts.size(); ++i) {
        if (parts[i] == "import") {
            c.import = true;
        } else if (parts[i].rfind("k=", 0) == 0) {
            std::vector<double> k;
            if (!parseNumbers(parts[i].substr(2), k) || k.size() != 4 || k[0] <= 0 || k[2] <= 0) {
                error = "+k= needs four numbers fx,cx,fy,cy with positive focal lengths";
                return false;
            }
            c.calibrated = true;
            c.fx = k[0];
            c.cx = k[1];
            c.fy = k[2];
            c.cy = k[3];
        } else {
            error = "unknown option \"+" + parts[i] + "\"";
            return false;
        }
    }
    const size_t need = c.import ? 4 : 3;
    if (words.size() != need) {
        error = c.import ? "sfm+import needs <listfocal> <nvm> <gpu_matches>" : "sfm needs <listfocal> <nvm>";
        return false;
    }
    c.list = words[1];
    c.nvm = words[2];
    if (c.import)
        c.matches = words[3];
    return true;
}

std::string absolute(const std::string& path)
{
    return fs::absolute(fs::path(path)).lexically_normal().string();
}

} // namespace

int VisualSfmRun::run(const std::vector<std::string>& args, const Options& options, std::ostream& out,
                      std::ostream& err)
{
    Command command;
    std::string error;
    if (!parseCommand(args, command, error)) {
        err << "VisualSfM: " << error << std::endl;
        return 2;
    }
    auto failed = [&err](const std::string& why) {
        err << "VisualSfM: " << why << std::endl;
        return 1;
    };

    // The list's images, their features and starting focal lengths.
    std::vector<ColmapReconstruction::ListedImage> listed;
    if (!ColmapReconstruction::readImageList(command.list, listed, out, &error))
        return failed(error);
    std::vector<ColmapReconstruction::Image> images;
    std::map<std::string, int> indexOf; // absolute image path -> list index
    // A GPS position in every photo: a drone's flight, taken in order.
    bool flight = !listed.empty();
    for (const auto& l : listed) {
        if (flight) {
            ExifGps::Position position;
            QString why;
            flight = ExifGps::readFile(QString::fromStdString(ExifFocal::xmlPathForImage(l.image.path)), &position,
                                       &why);
        }
        ColmapReconstruction::Image im = l.image;
        const std::string& image = im.path;
        if (!command.calibrated) {
            std::string source, warning;
            im.focal = ExifFocal::fromXmlFile(ExifFocal::xmlPathForImage(image), l.width, l.height, &source,
                                              &warning);
            if (!warning.empty())
                out << fs::path(image).filename().string() << ": " << warning << '\n';
            if (im.focal > 0)
                out << fs::path(image).filename().string() << ": focal " << im.focal << " px from the EXIF "
                    << source << '\n';
            im.camera = ExifFocal::cameraFromXmlFile(ExifFocal::xmlPathForImage(image));
        }
        if (!indexOf.emplace(absolute(image), int(images.size())).second)
            return failed(image + " is listed twice");
        images.push_back(im);
    }

    const std::string nvmPath = ToolPaths::native(command.nvm);
    const fs::path nvmFolder = fs::absolute(fs::path(nvmPath)).parent_path();
    ColmapReconstruction::Settings settings;
    settings.workFolder = (nvmFolder / (fs::path(nvmPath).stem().string() + "_colmap")).string();
    settings.colmap = options.colmap;
    settings.threads = options.threads;
    settings.calibrated = command.calibrated;
    settings.fx = command.fx;
    settings.fy = command.fy;
    settings.cx = command.cx;
    settings.cy = command.cy;
    settings.orderedFrames = flight;
    std::error_code ec;
    fs::create_directories(settings.workFolder, ec);
    ColmapReconstruction reconstruction(settings);

    // Importing, mapping, writing the NVM: the mapping takes the most.
    ProgressLine steps(&out, "", 3, "steps");
    std::string matchesPath = command.matches.empty() ? std::string() : ToolPaths::native(command.matches);
    if (!command.import) {
        if (reconstruction.canReuse(images)) {
            out << "Reusing the database of the earlier run" << std::endl;
        } else {
            matchesPath = (nvmFolder / "gpu_matches.init.txt").string();
            out << "The images or the calibration changed since the earlier run: importing " << matchesPath
                << " again" << std::endl;
        }
    }
    if (!matchesPath.empty()) {
        GpuMatchFile records;
        if (!records.readFile(matchesPath, &error))
            return failed(error);
        records.removeDuplicates();
        std::vector<ColmapReconstruction::Match> matches;
        size_t foreign = 0;
        for (const auto& r : records.records) {
            const std::string a = ToolPaths::resolveFile(r.imageA), b = ToolPaths::resolveFile(r.imageB);
            const auto ia = a.empty() ? indexOf.end() : indexOf.find(absolute(a));
            const auto ib = b.empty() ? indexOf.end() : indexOf.find(absolute(b));
            if (ia == indexOf.end() || ib == indexOf.end()) {
                ++foreign;
                continue;
            }
            ColmapReconstruction::Match m{ia->second, ib->second, {}};
            for (size_t i = 0; i < r.featuresA.size(); ++i)
                m.features.emplace_back(r.featuresA[i], r.featuresB[i]);
            matches.push_back(std::move(m));
        }
        if (foreign)
            out << foreign << " match record(s) name images outside the list; left out" << std::endl;
        if (!reconstruction.importData(images, matches, out, &error))
            return failed(error);
    }

    steps.set(1);
    ColmapModel model;
    if (!reconstruction.map(model, out, &error))
        return failed(error + " (COLMAP's log: " + reconstruction.logPath() + ")");
    steps.set(2);

    // Camera names relative to the NVM's folder, as the NVM reader joins them to it.
    std::map<std::string, std::string> nameOf;
    for (const auto& im : images) {
        const fs::path full = fs::absolute(fs::path(im.path)).lexically_normal();
        nameOf[reconstruction.colmapName(im.path)] = full.lexically_relative(nvmFolder).generic_string();
    }
    NvmFile nvm;
    nvm.models.push_back(model.toNvm([&nameOf](const std::string& name) {
        const auto it = nameOf.find(name);
        return it == nameOf.end() ? name : it->second;
    }));
    // The lens an earlier "Fit to Control Points" left beside the NVM
    // describes the cameras of the old reconstruction, not of this one.
    {
        const fs::path nvmFile(nvmPath);
        const std::string lensPath =
            CameraIntrinsics::pathFor((nvmFile.parent_path() / nvmFile.stem()).string() + ".out");
        std::error_code ec;
        if (fs::remove(lensPath, ec); ec)
            return failed("cannot remove " + lensPath + ": " + ec.message());
    }
    if (!nvm.writeFile(nvmPath, &error))
        return failed(error);
    steps.set(3);

    std::map<std::string, bool> registered;
    for (const auto& [id, im] : model.images)
        registered[im.name] = true;
    for (const auto& im : images)
        if (!registered.count(reconstruction.colmapName(im.path)))
            out << "Not registered: " << im.path << '\n';
    out << "Registered " << model.images.size() << " of " << images.size() << " images, "
        << model.points.size() << " points, mean reprojection error " << model.meanReprojectionError()
        << " px" << std::endl;
    out << "Wrote " << nvmPath << std::endl;
    return 0;
}
