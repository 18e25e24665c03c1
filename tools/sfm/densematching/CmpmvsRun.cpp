#include "CmpmvsRun.h"

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <thread>

#include "DenseBudget.h"
#include "DepthMapStore.h"
#include "DenseLayout.h"
#include "DenseMatcher.h"
#include "ImageClusters.h"
#include "MvsIni.h"
#include "MvsScene.h"
#include "ProgressLine.h"
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
    // Clusters of views the memory budget holds, grown along the shared
    // sparse points as cmvs grows them; each gives the points of its targets.
    const int n = int(scene.cameras.size());
    int width = 0, height = 0;
    if (!DenseBudget::imageSize(scene.images.front(), width, height))
        return fail("cannot read image " + scene.images.front());
    std::string source;
    const std::uint64_t budget = DenseBudget::bytes(&source);
    const int fit = DenseBudget::viewsWithin(budget, width, height, options.level, options.threads);
    std::vector<std::vector<int>> shared(size_t(n), std::vector<int>(size_t(n), 0));
    for (const auto& p : scene.points)
        for (int a : p.views)
            for (int b : p.views)
                if (a != b && a >= 0 && b >= 0 && a < n && b < n)
                    ++shared[size_t(a)][size_t(b)];
    const ImageClusters clusters = ImageClusters::split(shared, std::max(2, std::min(n, fit)));
    if (log)
        *log << "memory budget " << (budget >> 20) << " MiB (" << source << "): " << fit << " views of "
             << width << " x " << height << " at level " << options.level << " fit; "
             << clusters.clusters.size() << " cluster(s)\n";
    DenseCloud cloud;
    // A view swept as one cluster's target serves the later clusters it helps.
    const DepthMapStore store(layout.depthMapFolder());
    ProgressLine progress(log, "", clusters.clusters.size(), "clusters");
    for (size_t k = 0; k < clusters.clusters.size(); ++k) {
        const ImageClusters::Cluster& c = clusters.clusters[k];
        if (log && clusters.clusters.size() > 1)
            *log << "cluster " << k + 1 << "/" << clusters.clusters.size() << ": " << c.targets.size()
                 << " views, " << c.others.size() << " helping\n";
        DenseMatcher matcher(scene, options);
        matcher.setStore(&store, clusters.handedOn(k));
        if (!matcher.run(c.targets, c.others, error, log))
            return false;
        for (int v : clusters.lastHelp(k))
            store.remove(v);
        cloud.points.insert(cloud.points.end(), matcher.cloud().points.begin(), matcher.cloud().points.end());
        progress.step();
    }
    if (cloud.points.empty())
        return fail("no point found that " + std::to_string(options.minImageNum) + " images agree on");
    std::error_code ec;
    std::filesystem::create_directories(layout.folder() + "models", ec);
    const std::string out = outputFile(folder);
    if (!cloud.writePly({out}, "CMPMVS " + iniPath, error))
        return false;
    if (log)
        *log << "wrote " << cloud.points.size() << " points to " << out << '\n';
    return true;
}
