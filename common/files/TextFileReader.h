#pragma once

#include <fstream>
#include <string>

// Opens a tool file and hands it to a format's read(std::istream&, std::string*);
// a reason names the file: "cannot open <path>" or "<path>: <what read said>".
class TextFileReader
{
public:
    // Bytes from the read position to the end, or -1 when the stream cannot
    // tell (a pipe); the stream is left as it was, readable either way.
    static long long bytesLeft(std::istream& in)
    {
        const auto here = in.tellg();
        if (here < 0) {
            in.clear(in.rdstate() & ~std::ios::failbit);
            return -1;
        }
        in.seekg(0, std::ios::end);
        const auto end = in.tellg();
        in.clear(in.rdstate() & ~std::ios::failbit);
        in.seekg(here);
        return end < 0 ? -1 : static_cast<long long>(end - here);
    }

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
