#include "core/formats/BundleLoader.h"

#include "core/formats/PlyReader.h"
#include "core/formats/SparseBundle.h"
#include "core/log/LogLine.h"

#include <QFile>
#include <QFileInfo>

#include <iostream>

BundleLoader::Kind BundleLoader::kindOf(const std::string& fileName)
{
    const size_t slash = fileName.rfind('/');
    const std::string name = slash == std::string::npos ? fileName : fileName.substr(slash + 1);
    if (name.find(".out") != std::string::npos)
        return Kind::Out;
    if (name.find(".nvm") != std::string::npos)
        return Kind::Nvm;
    if (name.find(".patch") != std::string::npos)
        return Kind::Patch;
    return Kind::Unsupported;
}

BundleLoader::Result BundleLoader::load(const std::string& fileName, SparseBundle& bundle,
                                        const SceneOrigin& origin)
{
    LogLine() << "Reading Bundle File\n";
    Result result;
    result.shift = PointShift(origin);
    result.kind = kindOf(fileName);
    switch (result.kind) {
    case Kind::Out: {
        // Bundler output only feeds the external tools; nothing is shown,
        // but a file that is not there is no layer either.
        LogLine() << "Bundle File is .out\n" << std::flush;
        QFile file(QFile::decodeName(QByteArray::fromStdString(fileName)));
        if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly)) {
            result.message =
                "Cannot open " + fileName + ": " +
                (QFileInfo(file).exists() && !QFileInfo(file).isFile() ? std::string("not a regular file")
                                                                       : file.errorString().toStdString());
            return result;
        }
        result.accepted = true;
        return result;
    }
    case Kind::Nvm:
        LogLine() << "Bundle File is .nvm\n";
        result.ok = NvmReader::readNvm(fileName, result.vertices, result.colours, bundle, result.imageFolder,
                                       &result.message, &result.shift);
        result.buildScene = result.ok;
        result.accepted = result.ok;
        break;
    case Kind::Patch: {
        LogLine() << "Bundle File is .patch\n";
        osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
        osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
        QString message;
        result.ok = PlyReader::readPly(QFile::decodeName(QByteArray::fromStdString(fileName)), *vertices,
                                       *colours, &message, &result.shift);
        result.accepted = result.ok;
        if (result.ok) {
            result.vertices.push_back(vertices);
            result.colours.push_back(colours);
        } else {
            result.message = message.toStdString();
        }
        break;
    }
    case Kind::Unsupported:
        LogLine() << "Unsupported File type\n" << std::flush;
        result.message = fileName + ": not a bundle file (.nvm or .out)";
        return result;
    }
    return result;
}
