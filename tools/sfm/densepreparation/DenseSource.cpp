#include "DenseSource.h"

#include <filesystem>
#include <ostream>

#include "ImageListFile.h"
#include "ToolPaths.h"

bool DenseSource::read(const std::string& listPath, const std::string& bundlePath, std::string* error,
                       std::ostream* log)
{
    const auto fail = [error](const std::string& text) {
        if (error)
            *error = text;
        return false;
    };
    ImageListFile list;
    std::string message;
    if (!list.readFile(ToolPaths::native(listPath), &message))
        return fail(message);
    if (!bundle.readFile(ToolPaths::native(bundlePath), &message))
        return fail(message);
    intrinsics.cameras.clear();
    const std::string intrinsicsPath = CameraIntrinsics::pathFor(ToolPaths::native(bundlePath));
    std::error_code ec;
    if (std::filesystem::exists(intrinsicsPath, ec)) {
        if (!intrinsics.readFile(intrinsicsPath, &message))
            return fail(message);
        if (intrinsics.cameras.size() != bundle.cameras.size())
            return fail(intrinsicsPath + " describes " + std::to_string(intrinsics.cameras.size()) +
                        " cameras but " + ToolPaths::native(bundlePath) + " holds " +
                        std::to_string(bundle.cameras.size()));
        if (log)
            *log << "camera intrinsics from " << intrinsicsPath << '\n';
    }
    if (list.entries.size() != bundle.cameras.size())
        return fail(ToolPaths::native(listPath) + " names " + std::to_string(list.entries.size()) +
                    " images but " + ToolPaths::native(bundlePath) + " holds " +
                    std::to_string(bundle.cameras.size()) + " cameras");
    images.clear();
    registered.clear();
    for (size_t i = 0; i < list.entries.size(); ++i) {
        const bool placed = bundle.cameras[i].registered();
        std::string note;
        std::string found = ToolPaths::resolveFile(list.entries[i].image, &note);
        // Bundler's lists name images relative to the folder they lie in.
        const std::string name = ToolPaths::native(list.entries[i].image);
        if (found.empty() && !name.empty() && name[0] != '/')
            found = ToolPaths::resolveFile(ToolPaths::folderOf(listPath) + name, &note);
        if (found.empty() && placed)
            return fail("image " + ToolPaths::native(list.entries[i].image) + " of camera " +
                        std::to_string(i) + " not found");
        if (!note.empty() && log)
            *log << note << '\n';
        images.push_back(found);
        if (placed)
            registered.push_back(int(i));
    }
    if (registered.empty())
        return fail(ToolPaths::native(bundlePath) + " places no camera");
    return true;
}

bool DenseSource::lens(int index, int width, int height, CameraIntrinsics::Camera& out, std::string* error) const
{
    const BundlerFile::Camera& camera = bundle.cameras[size_t(index)];
    if (intrinsics.cameras.empty()) {
        out = CameraIntrinsics::ofBundler(camera, width, height);
        return true;
    }
    out = intrinsics.cameras[size_t(index)];
    if (out.width == width && out.height == height)
        return true;
    if (error)
        *error = images[size_t(index)] + " measures " + std::to_string(width) + " x " + std::to_string(height) +
                 " but its camera was calibrated for " + std::to_string(out.width) + " x " +
                 std::to_string(out.height);
    return false;
}
