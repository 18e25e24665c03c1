#pragma once

#include <iosfwd>
#include <string>

#include "FeatureSet.h"

// Our binary feature file (".keyb"), one per image beside it: what Pairolo
// matches and the bundle adjustment imports. Little-endian:
//   "ORVKEYB1", uint32 width, height, count, descriptor size (128),
//   uint32 name length and the image's file name,
//   count x float32 (x, y, scale, orientation), count x 128 descriptor bytes.
class KeybFile
{
public:
    static bool read(std::istream& in, FeatureSet& features, std::string* error = nullptr);
    static bool readFile(const std::string& path, FeatureSet& features, std::string* error = nullptr);
    // Image name, size and keypoint count only (keypoints stay empty).
    static bool readHeader(const std::string& path, FeatureSet& features, size_t& count,
                           std::string* error = nullptr);
    static void write(std::ostream& out, const FeatureSet& features);
    // Through a temporary file renamed into place.
    static bool writeFile(const std::string& path, const FeatureSet& features, std::string* error = nullptr);

    // The feature file the scripts name for an image: the name without its
    // last three characters followed by "keyb" (x.JPG gives x.keyb).
    static std::string pathForImage(const std::string& imagePath);
};
