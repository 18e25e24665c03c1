#include "NvmToBundler.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <ostream>

#include "RadialDistortion.h"
#include "ToolPaths.h"

namespace fs = std::filesystem;

BundlerFile NvmToBundler::convert(const NvmFile::Model& model, const std::string& nvmFolder,
                                  ImageListFile& images)
{
    BundlerFile bundle;
    images.entries.clear();
    // How far from the centre each camera's measurements reach, in focal lengths.
    std::vector<double> reach(model.cameras.size(), 0);
    for (const auto& p : model.points)
        for (const auto& m : p.measurements) {
            const double f = model.cameras[size_t(m.camera)].focal;
            if (f > 0)
                reach[size_t(m.camera)] = std::max(reach[size_t(m.camera)], std::hypot(m.x, m.y) / f);
        }
    for (size_t i = 0; i < model.cameras.size(); ++i) {
        const NvmFile::Camera& c = model.cameras[i];
        BundlerFile::Camera b;
        b.focal = c.focal;
        RadialDistortion::projectionFromNvm(c.radial, reach[i] > 0 ? reach[i] : 0.6, b.k1, b.k2);
        // Bundler's camera looks down -z with y up: flip the last two axes of R.
        const auto R = c.rotation();
        for (int col = 0; col < 3; ++col) {
            b.rotation[col] = R[col];
            b.rotation[3 + col] = -R[3 + col];
            b.rotation[6 + col] = -R[6 + col];
        }
        for (int r = 0; r < 3; ++r)
            b.translation[r] = -(b.rotation[3 * r] * c.centre[0] + b.rotation[3 * r + 1] * c.centre[1] +
                                 b.rotation[3 * r + 2] * c.centre[2]);
        bundle.cameras.push_back(b);
        std::string path =
            (fs::path(nvmFolder) / fs::path(ToolPaths::native(c.name))).lexically_normal().string();
        std::replace(path.begin(), path.end(), '/', '\\');
        images.entries.push_back({path, c.focal});
    }
    bundle.points.reserve(model.points.size());
    for (const auto& p : model.points) {
        BundlerFile::Point b;
        b.position = p.position;
        b.colour = p.colour;
        for (const auto& m : p.measurements)
            b.views.push_back({m.camera, m.feature, m.x, -m.y});
        bundle.points.push_back(std::move(b));
    }
    return bundle;
}

int NvmToBundler::run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    if (args.size() != 2 || args[1] != "--convert_to_bout") {
        err << "usage: driver_x64 <file.nvm> --convert_to_bout" << std::endl;
        return 2;
    }
    const std::string nvmPath = ToolPaths::native(args[0]);
    NvmFile nvm;
    std::string error;
    if (!nvm.readFile(nvmPath, &error)) {
        err << "driver_x64: " << error << std::endl;
        return 1;
    }
    if (nvm.models.empty() || nvm.models.front().cameras.empty()) {
        err << "driver_x64: " << nvmPath << " holds no reconstruction" << std::endl;
        return 1;
    }
    const fs::path p(nvmPath);
    const std::string folder = fs::absolute(p).parent_path().string();
    ImageListFile list;
    const BundlerFile bundle = convert(nvm.models.front(), folder, list);
    const std::string stem = (p.parent_path() / p.stem()).string();
    if (!bundle.writeFile(stem + "-converted.out", &error) ||
        !list.writeFile(stem + "-converted-list.txt", true, &error)) {
        err << "driver_x64: " << error << std::endl;
        return 1;
    }
    if (nvm.models.size() > 1)
        out << "Converted the first of " << nvm.models.size() << " models" << std::endl;
    out << "Wrote " << stem << "-converted.out with " << bundle.cameras.size() << " cameras and "
        << bundle.points.size() << " points" << std::endl;
    return 0;
}
