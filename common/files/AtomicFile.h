#pragma once

#include <string>

// Results of our tools appear whole or not at all: written under a temporary
// name beside the target, then renamed over it. A run killed halfway leaves
// no file that the next stage would take for finished.
class AtomicFile
{
public:
    // False with a reason when the temporary file cannot be written or renamed.
    static bool write(const std::string& path, const std::string& content, std::string* error = nullptr);
    // Renames an already written temporary file into place.
    static bool commit(const std::string& temporary, const std::string& path, std::string* error = nullptr);
    // The temporary name used for path: "<path>.part<pid>".
    static std::string temporaryName(const std::string& path);
};
