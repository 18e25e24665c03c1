#pragma once

#include <QString>

// The layer types of the project tree, their codes (saved in project files)
// and the rule that derives a file's type from its name.
class LayerType
{
public:
    enum Code {
        None = 0, // the file matches no rule and becomes no layer
        Mesh = 1,
        PointCloud = 2,
        Bundle = 6,
        Terrain = 10,
        Points = 11,
        Polygons = 12,
        Polylines = 13,
        Annotation = 14
    };

    // Every type in code order.
    static const Code all[8];

    // "Mesh", "PointCloud", ...; empty for None and unknown codes.
    static QString name(int code);
    // The code of a type name, None for an unknown one.
    static Code code(const QString& name);

    // The type by the texts the full path contains (case-sensitive, first
    // rule that holds): ".out"/".nvm" Bundle, ".ply" by the PLY kind test,
    // ".patch"/".pts"/".xyb"/".osga" PointCloud, ".osgb" Terrain,
    // ".obj"/".osg" Mesh, ".kml" by the KML kind test, ".ant" Annotation.
    static Code typeOfFile(const QString& path);

    // The KML kind test answers "Points" or "Polygons" for a file. The
    // annotation code installs it; until then every KML file is a Points layer.
    using KmlKindTest = QString (*)(const QString& fileName);
    static void setKmlKindTest(KmlKindTest test);
};
