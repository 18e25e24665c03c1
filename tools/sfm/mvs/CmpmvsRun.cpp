#include "CmpmvsRun.h"

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <thread>

#include "DenseLayout.h"
#include "DenseMatcher.h"
#include "MvsIni.h"
#include "MvsScene.h"
#include "ToolArguments.h"
#include "ToolPaths.h"

std::string CmpmvsRun::outputFile(const std::string& cmpmvsFolder)
{
    return DenseLayout::cmpmvs(cmpmvsFolder).folder() + "models/mvs.ply";
}

bool CmpmvsRun::run(const std::string& iniArg, std::string* error, std::ostream* log)
{
    const auto fail = [error](const std::string& text) {
        if (error)
            *error = text;
        return false;
    };
    MvsIni ini;
    const std::string iniPath = ToolPaths::native(iniArg);
    if (!ini.readFile(iniPath, error))
        return false;
    std::string data = ToolPaths::native(ini.value("global.dirName"));
    if (data.empty())
        return fail(iniPath + ": no [global] dirName");
    if (!ini.value("global.prefix").empty())
        return fail(iniPath + ": image name prefixes are not supported");
    std::string ext = ini.value("global.imgExt", "jpg");
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (ext != "jpg")
        return fail(iniPath + ": images must be jpg, not " + ext);
    while (!data.empty() && data.back() == '/')
        data.pop_back();
    const std::string folder = ToolPaths::folderOf(data);

    int scale = 1, consistent = 2;
    if (!ToolArguments::toInt(ini.value("global.scale", "1"), scale) || scale < 1 || scale > 64)
        return fail(iniPath + ": scale must be a whole number from 1 to 64");
    if (!ToolArguments::toInt(ini.value("filter.minNumOfConsistentCams", "2"), consistent) ||
        consistent < 1 || consistent > 63)
        return fail(iniPath + ": [filter] minNumOfConsistentCams must lie between 1 and 63");

    const DenseLayout layout = DenseLayout::cmpmvs(folder);
    MvsScene scene;
    if (!scene.load(layout, error))
        return false;
    int ncams = 0;
    if (ToolArguments::toInt(ini.value("global.ncams", "0"), ncams) && ncams != int(scene.cameras.size()) &&
        log)
        *log << "note: " << iniPath << " says ncams=" << ncams << "; the data folder holds "
             << scene.cameras.size() << " views, all of which are matched\n";

    DenseMatcher::Options options;
    options.level = 0;
    while ((2 << options.level) <= scale)
        ++options.level;
    options.minImageNum = consistent + 1;
    options.threads = int(std::max(1u, std::thread::hardware_concurrency()));
    std::vector<int> all(scene.cameras.size());
    for (size_t i = 0; i < all.size(); ++i)
        all[i] = int(i);
    DenseMatcher matcher(scene, options);
    if (!matcher.run(all, {}, error, log))
        return false;
    if (matcher.cloud().points.empty())
        return fail("no point found that " + std::to_string(options.minImageNum) + " images agree on");
    std::error_code ec;
    std::filesystem::create_directories(layout.folder() + "models", ec);
    const std::string out = outputFile(folder);
    if (!matcher.cloud().writePly({out}, "CMPMVS " + iniPath, error))
        return false;
    if (log)
        *log << "wrote " << matcher.cloud().points.size() << " points to " << out << '\n';
    return true;
}
