#pragma once

#include <QString>

#include <osg/Array>
#include <osg/ref_ptr>

#include <string>
#include <vector>

class PointShift;
class SparseBundle;

// Reads NVM reconstructions (text, one record per line) into a SparseBundle.
class NvmReader
{
public:
    using VertexArrays = std::vector<osg::ref_ptr<osg::Vec3Array>>;
    using ColourArrays = std::vector<osg::ref_ptr<osg::Vec4Array>>;

    // Appends one camera list per model to bundle.bundleCameras and one vertex
    // and colour array per model with points to the out lists; the scene adds
    // sparsePoints and pointCounts when it builds the nodes. imageFolder
    // receives the file's folder with "/" appended. True when the first model
    // has points. The file is read through one small buffer, not copied whole.
    // On failure message (when given) says why, naming the file and the line.
    // With a shift the points of every model are stored relative to its
    // offset; camera centres are kept in double as they are.
    static bool readNvm(const std::string& fileName, VertexArrays& vertices, ColourArrays& colours,
                        SparseBundle& bundle, std::string& imageFolder, std::string* message = nullptr,
                        PointShift* shift = nullptr);

    // The reconstruction's records alone, for those that need its cameras
    // and points but not the scene's arrays; message says why it failed,
    // imageFolder receives the file's folder with "/" appended.
    static bool readBundle(const QString& fileName, SparseBundle& bundle, QString* message,
                           QString* imageFolder = nullptr);

    // The same from text already in memory (the whole file, first two lines
    // included); the message names the line only.
    static bool readNvm(const char* begin, const char* end, const std::string& imageFolder,
                        VertexArrays& vertices, ColourArrays& colours, SparseBundle& bundle,
                        std::string* message = nullptr, PointShift* shift = nullptr);

    // Everything before the last "/" of fileName, followed by "/".
    static std::string imageFolderOf(const std::string& fileName);
};
