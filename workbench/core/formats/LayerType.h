#pragma once

#include <QString>
#include <QVector>

// The kinds of layer the project tree holds, with the codes the project file
// and the tree's item roles use.
class LayerType
{
public:
    enum Code {
        None = 0,
        Mesh = 1,
        PointCloud = 2,
        Bundle = 6,
        Terrain = 10,
        Points = 11,
        Polygons = 12,
        Polylines = 13,
        Annotation = 14
    };

    // All eight types in the order of the type table.
    static const QVector<Code>& all();
    static QString name(Code code);
    static Code fromName(const QString& name);
    static Code fromCode(int code);
    static QString iconPath(Code code);

    // The layer type of a file, decided by texts in its own name (case
    // sensitive, first rule wins; the folders it lies in do not count). PLY
    // files are told apart by their header and KML files by their geometry
    // elements, through the hooks below.
    static Code typeOfFile(const QString& path);
    // The text after the last "/" (the whole path when there is none).
    static QString fileNameOf(const QString& path);

    using KindTest = QString (*)(const QString& path);
    static void setPlyKindTest(KindTest test);
    static void setKmlKindTest(KindTest test);
};
