#include "ImageListFile.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <iomanip>
#include <limits>
#include <sstream>

#include "common/files/AtomicFile.h"
#include "ToolPaths.h"

bool ImageListFile::readFile(const std::string& path, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error)
            *error = "cannot open image list " + path;
        return false;
    }
    std::string message;
    if (read(in, &message))
        return true;
    if (error)
        *error = path + ": " + message;
    return false;
}

bool ImageListFile::read(std::istream& in, std::string* error)
{
    entries.clear();
    std::string line;
    int number = 0;
    std::vector<std::string> words;
    auto refuse = [&](const std::string& why) {
        if (error)
            *error = "line " + std::to_string(number) + " " + why;
        return false;
    };
    while (std::getline(in, line)) {
        ++number;
        if (!ToolPaths::splitWords(line, words))
            return refuse("has an unclosed quote");
        if (words.empty())
            continue;
        Entry e;
        e.image = words[0];
        if (e.image.empty())
            return refuse("names no image");
        if (words.size() == 3) {
            const std::string& text = words[2];
            const char* end = text.data() + text.size();
            const auto result = std::from_chars(text.data(), end, e.focal);
            if (result.ec != std::errc() || result.ptr != end || !std::isfinite(e.focal))
                return refuse("has no usable focal length");
            if (e.focal < 0)
                return refuse("has a negative focal length");
        } else if (words.size() != 1) {
            return refuse("is not \"image\" or \"image 0 focal\"");
        }
        entries.push_back(e);
    }
    return true;
}

bool ImageListFile::writeFile(const std::string& path, bool withFocal, std::string* error) const
{
    std::ostringstream out;
    out.imbue(std::locale::classic());
    out << std::setprecision(std::numeric_limits<double>::max_digits10);
    for (const Entry& e : entries) {
        out << ToolPaths::quoted(e.image);
        if (withFocal)
            out << " 0 " << e.focal;
        out << '\n';
    }
    return AtomicFile::write(path, out.str(), error);
}
