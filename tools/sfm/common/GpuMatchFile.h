#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// The matcher's records that the image viewer reads (gpu_matches.init_i.txt,
// gpu_matches.init.txt) and the bundle adjustment imports: per image pair
// three lines, "pathA pathB n", the n feature indices in image A, the n
// feature indices in image B; a record of no matches has two empty lines.
// Paths are written with backslashes, as the viewer cuts the image name after
// the last "\", and in double quotes when they hold a blank.
class GpuMatchFile
{
public:
    struct Record {
        std::string imageA; // as written
        std::string imageB;
        std::vector<int> featuresA;
        std::vector<int> featuresB;
    };

    std::vector<Record> records;

    bool read(std::istream& in, std::string* error = nullptr);
    bool readFile(const std::string& path, std::string* error = nullptr);
    void write(std::ostream& out) const;
    bool writeFile(const std::string& path, std::string* error = nullptr) const;

    // Records of `newer` replace those of the same two images (by path, either
    // slash, in either order); the others are appended. Concatenated files are
    // reduced the same way, the last record of a pair winning.
    void merge(const GpuMatchFile& newer);
    void removeDuplicates();

    // The image name of a written path: the part after its last "\" or "/".
    static std::string imageName(const std::string& path);
};
