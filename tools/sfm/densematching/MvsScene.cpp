#include "MvsScene.h"

#include <filesystem>

#include "BundlerFile.h"
#include "VisData.h"

namespace fs = std::filesystem;

bool MvsScene::load(const DenseLayout& layout, std::string* error)
{
    const auto fail = [error](const std::string& text) {
        if (error)
            *error = text;
        return false;
    };
    cameras.clear();
    images.clear();
    points.clear();
    partners.clear();
    std::error_code ec;
    for (int view = 0; fs::exists(layout.cameraFile(view), ec); ++view) {
        MvsCamera camera;
        if (!camera.readContourFile(layout.cameraFile(view), error))
            return false;
        if (!fs::exists(layout.imageFile(view), ec))
            return fail("image " + layout.imageFile(view) + " of view " + std::to_string(view) +
                        " is missing");
        cameras.push_back(camera);
        images.push_back(layout.imageFile(view));
    }
    if (cameras.empty())
        return fail("no camera file " + layout.cameraFile(0));

    BundlerFile bundle;
    if (!bundle.readFile(layout.bundleFile(), error))
        return false;
    if (bundle.cameras.size() != cameras.size())
        return fail(layout.bundleFile() + " holds " + std::to_string(bundle.cameras.size()) +
                    " cameras but " + std::to_string(cameras.size()) + " views are prepared");
    for (const auto& p : bundle.points) {
        Point q;
        q.position = p.position;
        for (const auto& v : p.views)
            q.views.push_back(v.camera);
        points.push_back(std::move(q));
    }

    const std::string visFile = layout.folder() + "vis.dat";
    if (layout.kind() == DenseLayout::Kind::Pmvs && fs::exists(visFile, ec)) {
        VisData vis;
        if (!vis.readFile(visFile, error))
            return false;
        if (vis.partners.size() != cameras.size())
            return fail(visFile + " describes " + std::to_string(vis.partners.size()) + " views, not " +
                        std::to_string(cameras.size()));
        partners = vis.partners;
    }
    return true;
}
