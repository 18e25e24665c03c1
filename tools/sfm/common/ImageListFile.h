#pragma once

#include <iosfwd>
#include <string>
#include <vector>

// The image lists the tool chain passes around (listfocal.txt, Bundler's
// list.txt): one image per line, optionally followed by "0 <focal>"; a path
// that holds a blank stands in double quotes.
class ImageListFile
{
public:
    struct Entry {
        std::string image; // as written (backslashes kept)
        double focal = 0;  // 0 when the line gives none
    };

    std::vector<Entry> entries;

    // Blank lines are skipped; a line whose focal is not a number or negative,
    // or that holds other words, is refused with the file and line.
    bool readFile(const std::string& path, std::string* error = nullptr);
    bool read(std::istream& in, std::string* error = nullptr);
    // "image" or "image 0 focal" per line, 17 significant digits, through a
    // temporary file.
    bool writeFile(const std::string& path, bool withFocal, std::string* error = nullptr) const;
};
