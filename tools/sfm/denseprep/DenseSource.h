#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "BundlerFile.h"

// What the preparation tools read: the sparse run's image list and its
// Bundler file. Cameras Bundler could not place are left out; the others are
// numbered from 0 in bundle order, as the dense folders number their views.
class DenseSource
{
public:
    BundlerFile bundle;
    // One per bundle camera: the image file found for the list's name.
    std::vector<std::string> images;
    // Bundle camera index of every dense view.
    std::vector<int> registered;

    // False with a one-line reason: unreadable files, a list whose length
    // differs from the bundle's camera count, a missing image of a placed
    // camera, or no placed camera at all. Notes (an image found under
    // another letter case) go to log when given.
    bool read(const std::string& listPath, const std::string& bundlePath, std::string* error,
              std::ostream* log = nullptr);
};
