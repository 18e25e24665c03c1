#include "MvsIni.h"

#include <istream>

#include "TextFile.h"

namespace
{
std::string trimmed(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return {};
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}
} // namespace

bool MvsIni::read(std::istream& in, std::string* error)
{
    values.clear();
    std::string line, section;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        line = trimmed(line);
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        if (line.front() == '[') {
            if (line.back() != ']') {
                if (error)
                    *error = "line " + std::to_string(number) + ": unclosed section name";
                return false;
            }
            section = trimmed(line.substr(1, line.size() - 2));
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos) {
            if (error)
                *error = "line " + std::to_string(number) + ": neither a section nor key=value";
            return false;
        }
        std::string value = trimmed(line.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '\'' && value.back() == '\'')
            value = value.substr(1, value.size() - 2);
        values[section + "." + trimmed(line.substr(0, equals))] = value;
    }
    return true;
}

bool MvsIni::readFile(const std::string& path, std::string* error)
{
    return TextFile::parse(path, error, [this](std::istream& in, std::string* e) { return read(in, e); });
}

std::string MvsIni::value(const std::string& sectionKey, const std::string& fallback) const
{
    const auto it = values.find(sectionKey);
    return it == values.end() ? fallback : it->second;
}
