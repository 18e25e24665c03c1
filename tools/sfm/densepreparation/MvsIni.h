#pragma once

#include <iosfwd>
#include <map>
#include <string>

// CMPMVS's configuration file (mvs.ini): "[section]" lines and "key=value"
// lines, values optionally in single quotes, "#" starting a comment.
class MvsIni
{
public:
    // Values by "section.key".
    std::map<std::string, std::string> values;

    bool read(std::istream& in, std::string* error = nullptr);
    bool readFile(const std::string& path, std::string* error = nullptr);
    // The value, or fallback when the key is absent.
    std::string value(const std::string& sectionKey, const std::string& fallback = {}) const;
};
