#pragma once

#include <QString>

class QIODevice;

// Decides whether a PLY file is shown as a mesh or as a point cloud: a face
// element with at least one face makes it a mesh. Works on binary PLY too,
// since every PLY header is text.
class PlyKind
{
public:
    // "Mesh" or "PointCloud"; files that cannot be read are "PointCloud".
    static QString kindOfPly(const QString& fileName);
    static QString kindOfPly(QIODevice& device);
};
