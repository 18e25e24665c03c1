#include "TextFile.h"

#include <fstream>

bool TextFile::parse(const std::string& path, std::string* error, const Parser& parser)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error)
            *error = "cannot open " + path;
        return false;
    }
    std::string message;
    if (parser(in, &message))
        return true;
    if (error)
        *error = path + ": " + message;
    return false;
}
