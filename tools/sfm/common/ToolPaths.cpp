#include "ToolPaths.h"

#include "common/text/CommandWords.h"

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
    return CommandWords::split(line, words);
}

std::string ToolPaths::folderOf(const std::string& path)
{
    const std::string p = native(path);
    const auto slash = p.rfind('/');
    return slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
}

int ToolPaths::photoRank(const std::string& extension)
{
    static const char* const types[] = {".jpg", ".jpeg", ".png", ".tif", ".tiff", ".bmp"};
    const std::string e = lower(extension);
    for (int i = 0; i < int(sizeof(types) / sizeof(types[0])); ++i)
        if (e == types[i])
            return i;
    return -1;
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
    const std::string name = wanted.filename().string();
    // The scripts call every photo by its "JPG name": its name with the last
    // three letters replaced by "JPG" (x.png is x.JPG, x.tiff is x.tJPG).
    const bool jpgName = photoRank(ext) >= 0 || (name.size() > 3 && lower(name.substr(name.size() - 3)) == "jpg");
    const std::string scriptStem = name.size() > 3 ? name.substr(0, name.size() - 3) : std::string();
    const fs::path folder = wanted.has_parent_path() ? wanted.parent_path() : fs::path(".");
    fs::path sameCase, photo;
    int photoBest = 0;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path candidate = it->path();
        if (!fs::is_regular_file(candidate, ec))
            continue;
        const std::string candidateExt = lower(candidate.extension().string());
        if (candidate.stem().string() == stem && candidateExt == ext) {
            sameCase = candidate;
            break;
        }
        const int rank = photoRank(candidateExt);
        if (!jpgName || rank < 0)
            continue;
        const std::string candidateName = candidate.filename().string();
        const bool byScript = candidateName.size() == name.size() && candidateName.compare(0, scriptStem.size(), scriptStem) == 0;
        if (!byScript && candidate.stem().string() != stem)
            continue;
        // Of several photos, the same one every time.
        if (photo.empty() || rank < photoBest || (rank == photoBest && candidateName < photo.filename().string())) {
            photo = candidate;
            photoBest = rank;
        }
    }
    const fs::path chosen = sameCase.empty() ? photo : sameCase;
    if (chosen.empty())
        return {};
    const std::string found = wanted.has_parent_path() ? chosen.string() : chosen.filename().string();
    if (note)
        *note = "using " + found + " for " + p;
    return found;
}
