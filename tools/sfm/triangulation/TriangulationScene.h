#pragma once

#include <string>
#include <vector>

#include "BundlerFile.h"
#include "common/formats/NvmFile.h"
#include "TriangulationCamera.h"

// The reconstruction the triangulation works in: the converted Bundler file
// and its image list when both exist, else the folder's sparse.nvm. Cameras
// are numbered as in that file; each one's image gives its size.
class TriangulationScene
{
public:
    enum class Source { None, Bundler, Nvm };

    // listFile and bundleFile as the workbench passes them (backslashes
    // allowed); imageFolder is where the images and sparse.nvm lie. False
    // with a one-line reason when neither reconstruction can be read.
    bool load(const std::string& listFile, const std::string& bundleFile, const std::string& imageFolder,
              std::string* error = nullptr);

    Source source() const { return m_source; }
    int cameraCount() const;
    // The image camera `index` was taken from, empty when none is found.
    std::string imagePath(int index) const;
    // Camera `index` with its image's size; false with a reason for an index
    // out of range, a camera the reconstruction could not place, or an image
    // that cannot be read.
    bool camera(int index, TriangulationCamera& out, std::string* error = nullptr) const;

    static std::string nvmName() { return "sparse.nvm"; }

private:
    std::string imageName(int index) const;

    Source m_source = Source::None;
    std::string m_folder; // ends in "/" unless empty
    BundlerFile m_bundle;
    std::vector<std::string> m_listImages;
    std::vector<NvmFile::Camera> m_nvmCameras; // of the first model
};
