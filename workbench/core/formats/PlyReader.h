#pragma once

#include <osg/Array>

#include <QString>

class PointShift;
class QIODevice;

// Reads the vertices of ASCII PLY files (the point clouds of the dense stage,
// MeshLab, PMVS, Bundler) into a vertex and a colour array. The header decides
// which column is what; binary PLY goes through the scene-graph library.
class PlyReader
{
public:
    // Appends the file's points. True when at least one point was read; on
    // refusal or failure message (when given) says why. Progress goes to
    // standard output. With a shift, the coordinates are read as doubles
    // and stored relative to its offset (large survey coordinates keep their
    // millimetres); without one they are stored as they are.
    static bool readPly(const QString& fileName, osg::Vec3Array& vertices, osg::Vec4Array& colours,
                        QString* message = nullptr, PointShift* shift = nullptr);
    static bool readPly(QIODevice& device, osg::Vec3Array& vertices, osg::Vec4Array& colours,
                        QString* message = nullptr, PointShift* shift = nullptr);

    // True when the file's second line is "format ascii 1.0": the loader then
    // reads it here instead of through the scene-graph library.
    static bool isAsciiPly(const QString& fileName);

private:
    static bool read(QIODevice& device, const QString& label, osg::Vec3Array& vertices,
                     osg::Vec4Array& colours, QString* message, PointShift* shift);
};
