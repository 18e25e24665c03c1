#include "NvmToBundler.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <ostream>

#include "ColmapModel.h"
#include "common/geometry/RadialDistortion.h"
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

bool NvmToBundler::colmapIntrinsics(const NvmFile::Model& model, const std::string& colmapFolder,
                                    CameraIntrinsics& intrinsics, std::string* why)
{
    const fs::path text = fs::path(colmapFolder) / "text";
    std::error_code ec;
    if (!fs::is_directory(text, ec)) {
        *why = "no COLMAP model in " + colmapFolder;
        return false;
    }
    *why = "no COLMAP model in " + text.string() + " has the NVM's cameras";
    for (int k = 0; fs::is_directory(text / std::to_string(k), ec); ++k) {
        ColmapModel colmap;
        std::string error;
        if (!colmap.readFolder((text / std::to_string(k)).string(), &error)) {
            *why = error;
            continue;
        }
        if (colmap.images.size() != model.cameras.size())
            continue;
        // The NVM lists the registered images in COLMAP's id order.
        CameraIntrinsics found;
        size_t i = 0;
        for (const auto& [id, image] : colmap.images) {
            const NvmFile::Camera& nvm = model.cameras[i++];
            const auto c = image.centre();
            double gap = 0, size = 1;
            for (int a = 0; a < 3; ++a) {
                gap = std::max(gap, std::abs(c[size_t(a)] - nvm.centre[size_t(a)]));
                size = std::max(size, std::abs(nvm.centre[size_t(a)]));
            }
            const auto camera = colmap.cameras.find(image.camera);
            if (camera == colmap.cameras.end() || !(gap <= 1e-6 * size) ||
                fs::path(ToolPaths::native(nvm.name)).filename() != fs::path(image.name).filename())
                break;
            // COLMAP counts pixels from the corner of the first, we from its centre.
            const ColmapModel::Camera& m = camera->second;
            CameraIntrinsics::Camera out;
            out.width = m.width;
            out.height = m.height;
            out.fx = m.fx;
            out.fy = m.fy;
            out.cx = m.cx - 0.5;
            out.cy = m.cy - 0.5;
            out.k1 = m.k1;
            out.k2 = m.k2;
            out.image = nvm.name;
            found.cameras.push_back(out);
        }
        if (found.cameras.size() == model.cameras.size()) {
            intrinsics = std::move(found);
            return true;
        }
    }
    return false;
}

bool NvmToBundler::adjustedIntrinsics(const NvmFile::Model& model, const std::string& path,
                                      CameraIntrinsics& intrinsics, std::string* why)
{
    why->clear();
    std::error_code ec;
    if (!fs::exists(path, ec))
        return false;
    CameraIntrinsics file;
    std::string error;
    if (!file.readFile(path, &error)) {
        *why = error;
        return false;
    }
    std::map<std::string, const CameraIntrinsics::Camera*> byImage;
    for (const auto& c : file.cameras)
        byImage[c.image] = &c;
    CameraIntrinsics found;
    for (const NvmFile::Camera& c : model.cameras) {
        const auto lens = byImage.find(c.name);
        if (lens == byImage.end()) {
            *why = path + ": no camera for " + c.name;
            return false;
        }
        found.cameras.push_back(*lens->second);
    }
    intrinsics = std::move(found);
    return true;
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
    BundlerFile bundle = convert(nvm.models.front(), folder, list);
    const std::string stem = (p.parent_path() / p.stem()).string();
    const std::string intrinsicsPath = CameraIntrinsics::pathFor(stem + "-converted.out");
    CameraIntrinsics intrinsics;
    std::string why;
    // The adjusted lens of "Fit to Control Points", which the NVM's single
    // term only approximates, before the mapper's own.
    const std::string adjustedPath = CameraIntrinsics::pathFor(stem + ".out");
    std::string damage;
    const bool adjusted = adjustedIntrinsics(nvm.models.front(), adjustedPath, intrinsics, &damage);
    if (!damage.empty())
        out << damage << " (the lens is not used)" << std::endl;
    std::string source = adjustedPath;
    bool found = adjusted;
    if (!found && colmapIntrinsics(nvm.models.front(), stem + "_colmap", intrinsics, &why)) {
        found = true;
        source = stem + "_colmap";
    }
    if (found) {
        // The lens's own distortion, not the one fitted back from NVM's single value.
        for (size_t i = 0; i < bundle.cameras.size(); ++i) {
            bundle.cameras[i].k1 = intrinsics.cameras[i].k1;
            bundle.cameras[i].k2 = intrinsics.cameras[i].k2;
        }
        if (!intrinsics.writeFile(intrinsicsPath, &error)) {
            err << "driver_x64: " << error << std::endl;
            return 1;
        }
        out << "Camera intrinsics and distortion from " << source << std::endl;
    } else {
        std::error_code ec;
        fs::remove(intrinsicsPath, ec); // a stale one would describe other cameras
        out << why << ": the dense cameras take the NVM's focal length and distortion" << std::endl;
    }
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
