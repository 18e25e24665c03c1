#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "BundlerFile.h"
#include "CameraIntrinsics.h"

// What the preparation tools read: the sparse run's image list and its
// Bundler file. Cameras Bundler could not place are left out; the others are
// numbered from 0 in bundle order, as the dense folders number their views.
// The cameras' intrinsics come from the Bundler file's companion
// (CameraIntrinsics::pathFor) when there is one, else from the Bundler file.
class DenseSource
{
public:
    BundlerFile bundle;
    // One per bundle camera: the image file found for the list's name.
    std::vector<std::string> images;
    // Bundle camera index of every dense view.
    std::vector<int> registered;
    // One per bundle camera, or none when the bundle has no companion file.
    CameraIntrinsics intrinsics;

    // The inner camera of bundle camera index, whose photo measures width x
    // height; false with a reason when the companion describes another size.
    bool lens(int index, int width, int height, CameraIntrinsics::Camera& out, std::string* error) const;

    // False with a one-line reason: unreadable files, a list whose length
    // differs from the bundle's camera count, a missing image of a placed
    // camera, no placed camera at all, or a damaged intrinsics companion
    // (or one with another camera count). Notes (an image found under
    // another letter case) go to log when given.
    bool read(const std::string& listPath, const std::string& bundlePath, std::string* error,
              std::ostream* log = nullptr);
};
