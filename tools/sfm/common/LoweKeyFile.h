#pragma once

#include <iosfwd>
#include <string>

#include "FeatureSet.h"

// David Lowe's text keypoint format (".key"), which the image viewer reads
// to draw an image's features: a line "count 128", then per keypoint row,
// column, scale, orientation and its 128 descriptor values. We write each
// keypoint on one line, so readers that take one line per keypoint and
// readers that take 132 numbers per keypoint (Lowe's own layout spreads them
// over eight lines) read the same features.
class LoweKeyFile
{
public:
    // Either layout; false with a reason on a damaged file.
    static bool read(std::istream& in, FeatureSet& features, std::string* error = nullptr);
    static bool readFile(const std::string& path, FeatureSet& features, std::string* error = nullptr);
    static void write(std::ostream& out, const FeatureSet& features);
    static bool writeFile(const std::string& path, const FeatureSet& features, std::string* error = nullptr);

    // The viewer's name for an image's key file: the path cut at its last
    // "." followed by ".key".
    static std::string pathForImage(const std::string& imagePath);
};
