#include "BundleLoader.h"

#include "SparseBundle.h"

#include <iostream>

namespace {

// The fixed-layout PLY reader of ".patch" files plugs in here; until it does,
// a patch file reads as nothing and the caller adds nothing.
bool readPatch(const std::string& fileName, NvmReader::VertexArrays&, NvmReader::ColourArrays&)
{
    std::cout << "No reader for patch files yet: " << fileName << " not loaded\n";
    return false;
}

} // namespace

BundleLoader::Kind BundleLoader::kindOf(const std::string& fileName)
{
    if (fileName.find(".out") != std::string::npos)
        return Kind::Out;
    if (fileName.find(".nvm") != std::string::npos)
        return Kind::Nvm;
    if (fileName.find(".patch") != std::string::npos)
        return Kind::Patch;
    return Kind::Unsupported;
}

BundleLoader::Result BundleLoader::load(const std::string& fileName, SparseBundle& bundle)
{
    std::cout << "Reading Bundle File\n";
    Result result;
    result.kind = kindOf(fileName);
    switch (result.kind) {
    case Kind::Out:
        // Bundler output only feeds the external tools; nothing is shown.
        std::cout << "Bundle File is .out\n" << std::flush;
        return result;
    case Kind::Nvm:
        std::cout << "Bundle File is .nvm\n";
        result.ok = NvmReader::readNvm(fileName, result.vertices, result.colours, bundle, result.imageFolder);
        result.buildScene = result.ok;
        break;
    case Kind::Patch:
        std::cout << "Bundle File is .patch\n";
        result.ok = readPatch(fileName, result.vertices, result.colours);
        break;
    case Kind::Unsupported:
        std::cout << "Unsupported File type\n" << std::flush;
        return result;
    }
    std::cout << std::flush;
    return result;
}
