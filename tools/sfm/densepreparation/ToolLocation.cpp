#include "ToolLocation.h"

#include <algorithm>
#include <climits>
#include <unistd.h>

#include "ToolPaths.h"

std::string ToolLocation::programFolder()
{
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (n <= 0)
        return "./";
    const std::string folder = ToolPaths::folderOf(std::string(buffer, size_t(n)));
    return folder.empty() ? "./" : folder;
}

std::string ToolLocation::sfmFolder()
{
    const std::string folder = programFolder();
    const auto at = folder.rfind("/SfM/");
    return at == std::string::npos ? folder : folder.substr(0, at + 5);
}

std::string ToolLocation::scriptPath(const std::string& path)
{
    std::string out = path;
    std::replace(out.begin(), out.end(), '/', '\\');
    return out;
}
