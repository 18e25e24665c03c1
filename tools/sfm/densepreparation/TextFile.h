#pragma once

#include <functional>
#include <iosfwd>
#include <string>

// Reading one of the dense tools' text files by its stream parser: a file
// that cannot be opened says so, a parser's refusal is prefixed with the
// file's name.
class TextFile
{
public:
    using Parser = std::function<bool(std::istream& in, std::string* error)>;
    static bool parse(const std::string& path, std::string* error, const Parser& parser);
};
