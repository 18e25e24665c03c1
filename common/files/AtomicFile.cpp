#include "common/files/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <unistd.h>

std::string AtomicFile::temporaryName(const std::string& path)
{
    return path + ".part" + std::to_string(::getpid());
}

bool AtomicFile::commit(const std::string& temporary, const std::string& path, std::string* error)
{
    if (std::rename(temporary.c_str(), path.c_str()) == 0)
        return true;
    if (error)
        *error = "cannot rename " + temporary + " to " + path + ": " + std::strerror(errno);
    std::remove(temporary.c_str());
    return false;
}

bool AtomicFile::write(const std::string& path, const std::string& content, std::string* error)
{
    const std::string temporary = temporaryName(path);
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            if (error)
                *error = "cannot write " + temporary + ": " + std::strerror(errno);
            return false;
        }
        out.write(content.data(), static_cast<std::streamsize>(content.size()));
        out.flush();
        if (!out) {
            if (error)
                *error = "cannot write " + temporary + " (disk full?)";
            out.close();
            std::remove(temporary.c_str());
            return false;
        }
    }
    return commit(temporary, path, error);
}
