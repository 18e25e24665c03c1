#include "BundleLoader.h"

#include "PlyReader.h"
#include "SparseBundle.h"

#include <QFile>

#include <iostream>

namespace
{

// Our dense matcher writes its ".patch" files as ASCII PLY: they read
// through the PLY reader into one point set.
bool readPatch(const std::string& fileName, NvmReader::VertexArrays& vertices,
               NvmReader::ColourArrays& colours)
{
    osg::ref_ptr<osg::Vec3Array> v = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> c = new osg::Vec4Array;
    if (!PlyReader::readPly(QFile::decodeName(QByteArray::fromStdString(fileName)), *v, *c))
        return false;
    vertices.push_back(v);
    colours.push_back(c);
    return true;
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
