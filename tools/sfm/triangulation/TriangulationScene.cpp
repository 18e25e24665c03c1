#include "TriangulationScene.h"

#include <opencv2/imgcodecs.hpp>

#include <filesystem>

#include "ImageListFile.h"
#include "ToolPaths.h"

namespace fs = std::filesystem;

namespace
{

bool fail(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

bool isFile(const std::string& path)
{
    std::error_code ec;
    return !path.empty() && fs::is_regular_file(path, ec);
}

} // namespace

bool TriangulationScene::load(const std::string& listFile, const std::string& bundleFile,
                              const std::string& imageFolder, std::string* error)
{
    m_source = Source::None;
    m_folder = ToolPaths::native(imageFolder);
    if (!m_folder.empty() && m_folder.back() != '/')
        m_folder += '/';
    const std::string bundle = ToolPaths::native(bundleFile);
    const std::string list = ToolPaths::native(listFile);
    if (isFile(bundle) && isFile(list)) {
        std::string reason;
        if (!m_bundle.readFile(bundle, &reason))
            return fail(error, bundle + ": " + reason);
        ImageListFile images;
        if (!images.readFile(list, &reason))
            return fail(error, reason);
        m_listImages.clear();
        for (const ImageListFile::Entry& e : images.entries)
            m_listImages.push_back(e.image);
        m_source = Source::Bundler;
        return true;
    }
    const std::string nvm = m_folder + nvmName();
    if (isFile(nvm)) {
        std::string reason;
        NvmFile file;
        if (!file.readFile(nvm, &reason, NvmFile::Contents::FirstCameras))
            return fail(error, reason);
        m_nvmCameras =
            file.models.empty() ? std::vector<NvmFile::Camera>() : std::move(file.models[0].cameras);
        m_source = Source::Nvm;
        return true;
    }
    return fail(error, "no reconstruction to triangulate in: neither " + bundle + " with " + list + " nor " +
                           nvm + " exists");
}

int TriangulationScene::cameraCount() const
{
    switch (m_source) {
    case Source::Bundler:
        return int(m_bundle.cameras.size());
    case Source::Nvm:
        return int(m_nvmCameras.size());
    case Source::None:
        break;
    }
    return 0;
}

std::string TriangulationScene::imageName(int index) const
{
    if (m_source == Source::Bundler)
        return index < int(m_listImages.size()) ? m_listImages[size_t(index)] : std::string();
    return m_nvmCameras[size_t(index)].name;
}

std::string TriangulationScene::imagePath(int index) const
{
    if (index < 0 || index >= cameraCount())
        return {};
    const std::string name = ToolPaths::native(imageName(index));
    if (name.empty())
        return {};
    // Lists name images relative to the reconstruction's folder, or with the
    // absolute paths of the machine that made them.
    std::vector<std::string> candidates{m_folder + name};
    if (fs::path(name).is_absolute())
        candidates.push_back(name);
    candidates.push_back(m_folder + fs::path(name).filename().string());
    for (const std::string& candidate : candidates) {
        const std::string found = ToolPaths::resolveFile(candidate);
        if (!found.empty())
            return found;
    }
    return {};
}

bool TriangulationScene::camera(int index, TriangulationCamera& out, std::string* error) const
{
    if (index < 0 || index >= cameraCount())
        return fail(error, "camera " + std::to_string(index) + " is not one of the " +
                               std::to_string(cameraCount()) + " cameras of the reconstruction");
    if (m_source == Source::Bundler && !m_bundle.cameras[size_t(index)].registered())
        return fail(error, "camera " + std::to_string(index) + " was not placed by the reconstruction");
    const std::string path = imagePath(index);
    if (path.empty())
        return fail(error, "the image of camera " + std::to_string(index) + " (" + imageName(index) +
                               ") is not in " + m_folder);
    const cv::Mat image = cv::imread(path, cv::IMREAD_UNCHANGED);
    if (image.empty())
        return fail(error, "cannot read the image " + path);
    if (m_source == Source::Bundler) {
        out = TriangulationCamera::fromBundler(m_bundle.cameras[size_t(index)], image.cols, image.rows);
    } else {
        const NvmFile::Camera& c = m_nvmCameras[size_t(index)];
        out = TriangulationCamera::fromNvm(c.focal, c.quaternion, c.centre, c.radial, image.cols, image.rows);
    }
    return true;
}
