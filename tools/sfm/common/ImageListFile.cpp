#include "ImageListFile.h"

#include <fstream>
#include <iomanip>
#include <limits>
#include <sstream>

#include "AtomicFile.h"

bool ImageListFile::readFile(const std::string& path, std::string* error)
{
    entries.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error)
            *error = "cannot open image list " + path;
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::istringstream words(line);
        words.imbue(std::locale::classic());
        Entry e;
        if (!(words >> e.image))
            continue;
        std::string zero;
        if (words >> zero) {
            if (!(words >> e.focal)) {
                if (error)
                    *error = path + ": line " + std::to_string(number) + " has no usable focal length";
                return false;
            }
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
        out << e.image;
        if (withFocal)
            out << " 0 " << e.focal;
        out << '\n';
    }
    return AtomicFile::write(path, out.str(), error);
}
