#pragma once

#include <string>

// How every result of ours replaces a file: written whole under a temporary
// name beside the target (the same file system, so the last step is one
// rename), flushed to the disk, then renamed over the target. A run killed
// halfway, a full disk or a failed write leaves the old file as it was and no
// half file that the next stage would take for finished. The workbench's Qt
// saves follow the same rule through QSaveFile (core/io/SaveFileCommit).
class AtomicFile
{
public:
    // Writes content to path that way; false with a reason, path untouched.
    static bool write(const std::string& path, const std::string& content, std::string* error = nullptr);

    // For files another library writes itself (GDAL, OpenCV, an archive):
    // the temporary name to hand it, "<path>.part<pid><extension>", where
    // extension ("" or ".tif") keeps the ending a writer picks its format by.
    static std::string temporaryName(const std::string& path, const std::string& extension = std::string());
    // Flushes the finished temporary file to the disk and renames it over
    // path. On failure the temporary is removed, path is left as it was and
    // error says why.
    static bool commit(const std::string& temporary, const std::string& path, std::string* error = nullptr);
    // Removes a temporary file that will not be committed.
    static void discard(const std::string& temporary);
};
