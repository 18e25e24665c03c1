#include "NvmCameras.h"

#include <fstream>

#include "common/text/LineWords.h"

namespace
{

bool fail(std::string* error, const std::string& text, int line)
{
    if (error)
        *error = text + " (line " + std::to_string(line) + ")";
    return false;
}

// The next line that holds more than blanks; false at the end of the input.
bool nextLine(std::istream& in, std::string& line, int& number)
{
    while (std::getline(in, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find_first_not_of(" \t") != std::string::npos)
            return true;
    }
    return false;
}

} // namespace

bool NvmCameras::read(std::istream& in, std::string* error)
{
    cameras.clear();
    std::string line;
    int number = 0;
    if (!nextLine(in, line, number) || line.compare(0, 6, "NVM_V3") != 0)
        return fail(error, "not an NVM_V3 file", number);
    // A calibration may follow the tag ("NVM_V3 FixedK fx cx fy cy"); the
    // cameras carry their own focal lengths, which are the ones used here.
    if (!nextLine(in, line, number))
        return fail(error, "no camera count", number);
    long long count = 0;
    if (!LineWords(line).numbers(count) || count < 0)
        return fail(error, "no camera count", number);
    for (long long i = 0; i < count; ++i) {
        if (!nextLine(in, line, number))
            return fail(error, "the file ends before camera " + std::to_string(i), number);
        LineWords words(line);
        Camera c;
        // The name is followed by blanks or a tab; names hold no blanks.
        if (!words.word(c.name) ||
            !words.numbers(c.focal, c.rotation[0], c.rotation[1], c.rotation[2], c.rotation[3], c.centre[0],
                           c.centre[1], c.centre[2], c.radial))
            return fail(error, "camera " + std::to_string(i) + " is not \"name f qw qx qy qz cx cy cz r 0\"",
                        number);
        cameras.push_back(c);
    }
    return true;
}

bool NvmCameras::readFile(const std::string& path, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error)
            *error = "cannot open " + path;
        return false;
    }
    std::string reason;
    if (read(in, &reason))
        return true;
    if (error)
        *error = path + ": " + reason;
    return false;
}
