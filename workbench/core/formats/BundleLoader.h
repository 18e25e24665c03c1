#pragma once

#include <string>

#include "core/formats/NvmReader.h"
#include "core/formats/PointShift.h"

// Chooses the reader for a bundle file by its name and runs it. The scene view
// turns the result into nodes.
class BundleLoader
{
public:
    enum class Kind { Out, Nvm, Patch, Unsupported };

    struct Result
    {
        Kind kind = Kind::Unsupported;
        bool ok = false;          // the reader reported success
        bool accepted = false;    // a layer: ok, or a ".out" file that can be opened
        bool buildScene = false;  // only ".nvm" names get scene nodes
        NvmReader::VertexArrays vertices;
        NvmReader::ColourArrays colours;
        std::string imageFolder;  // set by NVM reads only
        std::string message;      // why not, when ok is false
        PointShift shift;         // what the points are stored relative to
    };

    // Case-sensitive substring test of the file's own name (not its
    // folders) in this order: ".out", ".nvm", ".patch".
    static Kind kindOf(const std::string& fileName);

    // Prints the loader's standard-output lines and fills bundle and result.
    // ".out" files only feed the external tools: they read nothing, and are
    // accepted as layers when they can be opened. Patch files (our dense
    // matcher's PLY text) read through the PLY reader into one point set and
    // get no scene nodes: the scene shows them through its point cloud path.
    // Unsupported names are refused.
    // Appending to the scene's list and hiding are the scene's half. Large
    // coordinates are stored relative to the scene origin (or to the one
    // this bundle chooses: result.shift).
    static Result load(const std::string& fileName, SparseBundle& bundle,
                       const SceneOrigin& origin = SceneOrigin());
};
