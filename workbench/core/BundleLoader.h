#pragma once

#include <string>

#include "NvmReader.h"

// Chooses the reader for a bundle file by its name and runs it. The scene view
// turns the result into nodes.
class BundleLoader
{
public:
    enum class Kind { Out, Nvm, Patch, Unsupported };

    struct Result {
        Kind kind = Kind::Unsupported;
        bool ok = false;         // the reader reported success
        bool buildScene = false; // only ".nvm" names get scene nodes
        NvmReader::VertexArrays vertices;
        NvmReader::ColourArrays colours;
        std::string imageFolder; // set by NVM reads only
    };

    // Case-sensitive substring test in this order: ".out", ".nvm", ".patch".
    static Kind kindOf(const std::string& fileName);

    // Prints the loader's standard-output lines and fills bundle and result.
    // ".out" and unsupported names read nothing; ".patch" names go to the
    // PLY reader (their points are shown through the point cloud path).
    // Appending to the scene's list and hiding are the scene's half.
    static Result load(const std::string& fileName, SparseBundle& bundle);
};
