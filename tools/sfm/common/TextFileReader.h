#pragma once

#include <fstream>
#include <string>

// Opens a tool file and hands it to a format's read(std::istream&, std::string*);
// a reason names the file: "cannot open <path>" or "<path>: <what read said>".
class TextFileReader
{
public:
    template <class Format>
    static bool read(Format& format, const std::string& path, std::string* error)
    {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            if (error)
                *error = "cannot open " + path;
            return false;
        }
        std::string message;
        if (format.read(in, &message))
            return true;
        if (error)
            *error = path + ": " + message;
        return false;
    }
};
