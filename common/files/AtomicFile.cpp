#include "common/files/AtomicFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace
{

std::string reason(const std::string& what, int code)
{
    return what + ": " + std::strerror(code);
}

// The bytes on the disk before the name points at them: otherwise a power
// cut after the rename may leave the new name on an empty file.
bool syncFile(const std::string& path, std::string* error)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0 || ::fsync(fd) != 0) {
        const int code = errno;
        if (fd >= 0)
            ::close(fd);
        if (error)
            *error = reason("cannot flush " + path, code);
        return false;
    }
    ::close(fd);
    return true;
}

// The rename itself on the disk; a folder that cannot be synced (some file
// systems refuse) does not undo a finished rename.
void syncFolderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

std::string AtomicFile::temporaryName(const std::string& path, const std::string& extension)
{
    return path + ".part" + std::to_string(::getpid()) + extension;
}

void AtomicFile::discard(const std::string& temporary)
{
    std::remove(temporary.c_str());
}

bool AtomicFile::commit(const std::string& temporary, const std::string& path, std::string* error)
{
    if (!syncFile(temporary, error)) {
        discard(temporary);
        return false;
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        if (error)
            *error = reason("cannot rename " + temporary + " to " + path, errno);
        discard(temporary);
        return false;
    }
    syncFolderOf(path);
    return true;
}

bool AtomicFile::write(const std::string& path, const std::string& content, std::string* error)
{
    const std::string temporary = temporaryName(path);
    std::FILE* out = std::fopen(temporary.c_str(), "wb");
    if (!out) {
        if (error)
            *error = reason("cannot write " + temporary, errno);
        return false;
    }
    const bool written = std::fwrite(content.data(), 1, content.size(), out) == content.size();
    const int code = errno;
    if (std::fclose(out) != 0 || !written) {
        if (error)
            *error = reason("cannot write " + temporary, written ? errno : code);
        discard(temporary);
        return false;
    }
    return commit(temporary, path, error);
}
