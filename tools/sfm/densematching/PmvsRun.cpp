#include "PmvsRun.h"

#include <filesystem>
#include <ostream>

#include "DenseLayout.h"
#include "DenseMatcher.h"
#include "DepthMapStore.h"
#include "ImageClusters.h"
#include "MvsScene.h"
#include "PmvsOptions.h"

bool PmvsRun::run(const std::string& folderArg, const std::string& optionName, std::string* error,
                  std::ostream* log)
{
    const auto fail = [error](const std::string& text) {
        if (error)
            *error = text;
        return false;
    };
    if (optionName.empty() || optionName.find_first_of("/\\") != std::string::npos)
        return fail("the option file must be a name inside the folder: " + optionName);
    const DenseLayout layout = DenseLayout::pmvs(folderArg);
    PmvsOptions options;
    if (!options.readFile(layout.folder() + optionName, error) || !options.check(error))
        return false;
    MvsScene scene;
    if (!scene.load(layout, error))
        return false;
    for (const auto* list : {&options.timages, &options.oimages})
        for (int v : *list)
            if (v >= int(scene.cameras.size()))
                return fail(optionName + " names image " + std::to_string(v) + " but the folder has " +
                            std::to_string(scene.cameras.size()));
    if (!options.useVisData)
        scene.partners.clear();
    DenseMatcher matcher(scene, DenseMatcher::fromPmvs(options));
    // pmvs_all.bat runs the clusters of ske.dat in order: this one's targets
    // that later clusters take as helping views are handed on to them, and
    // the maps it was handed that no later cluster needs are removed after.
    ImageClusters clusters;
    const DepthMapStore store(layout.depthMapFolder());
    const int k = clusters.readFile(layout.folder() + "ske.dat") ? clusters.indexOf(options.timages) : -1;
    if (k >= 0)
        matcher.setStore(&store, clusters.handedOn(size_t(k)));
    if (!matcher.run(options.timages, options.oimages, error, log))
        return false;
    if (k >= 0)
        for (int v : clusters.lastHelp(size_t(k)))
            store.remove(v);
    if (log && matcher.readViews() > 0)
        *log << matcher.readViews() << " helping views' depth maps read from earlier clusters, "
             << matcher.sweptViews() << " views swept\n";
    if (matcher.cloud().points.empty())
        return fail("no point found that " + std::to_string(options.minImageNum) + " images agree on");
    std::error_code ec;
    std::filesystem::create_directories(layout.folder() + "models", ec);
    const std::string base = layout.folder() + "models/" + optionName;
    if (!matcher.cloud().writePly({base + ".ply", base + ".patch"}, "pmvs2 " + optionName, error))
        return false;
    if (log)
        *log << "wrote " << matcher.cloud().points.size() << " points to " << base << ".ply and .patch\n";
    return true;
}
