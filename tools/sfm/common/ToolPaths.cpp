#include "ToolPaths.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace fs = std::filesystem;

namespace
{
std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}
} // namespace

std::string ToolPaths::native(const std::string& path)
{
    std::string out = path;
    std::replace(out.begin(), out.end(), '\\', '/');
    return out;
}

std::string ToolPaths::quoted(const std::string& path)
{
    if (path.find_first_of(" \t\r") == std::string::npos)
        return path;
    return '"' + path + '"';
}

bool ToolPaths::splitWords(const std::string& line, std::vector<std::string>& words)
{
    words.clear();
    std::string word;
    bool quoted = false;
    bool inWord = false;
    for (const char c : line) {
        if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == ' ' || c == '\t' || c == '\r')) {
            if (inWord)
                words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.push_back(word);
    return !quoted;
}

std::string ToolPaths::folderOf(const std::string& path)
{
    const std::string p = native(path);
    const auto slash = p.rfind('/');
    return slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
}

std::string ToolPaths::resolveFile(const std::string& path, std::string* note)
{
    const std::string p = native(path);
    std::error_code ec;
    if (fs::is_regular_file(p, ec))
        return p;
    const fs::path wanted(p);
    const std::string stem = wanted.stem().string();
    const std::string ext = lower(wanted.extension().string());
    const fs::path folder = wanted.has_parent_path() ? wanted.parent_path() : fs::path(".");
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path candidate = it->path();
        if (candidate.stem().string() == stem && lower(candidate.extension().string()) == ext &&
            fs::is_regular_file(candidate, ec)) {
            const std::string found =
                wanted.has_parent_path() ? candidate.string() : candidate.filename().string();
            if (note)
                *note = "using " + found + " for " + p;
            return found;
        }
    }
    return {};
}
