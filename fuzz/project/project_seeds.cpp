// Writes the seed projects of project_fuzz into the folder given: a small,
// an empty and a nested project, all through the project writer so they are
// files the program itself would make.
#include "core/project/ProjectDocument.h"
#include "core/project/ProjectWriter.h"

#include <QString>

#include <cstdio>

namespace
{

using Node = ProjectDocument::Node;

Node node(Node::Kind kind, const QString& text, LayerType::Code type = LayerType::None, QVector<Node> children = {})
{
    Node n;
    n.kind = kind;
    n.text = text;
    n.type = type;
    n.children = children;
    return n;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: project_seeds <folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');

    ProjectDocument empty;

    ProjectDocument small;
    small.tree = {node(Node::Layer, QStringLiteral("cloud.ply"), LayerType::PointCloud),
                  node(Node::Layer, QStringLiteral("finds.kml"), LayerType::Points)};
    small.layers[LayerType::PointCloud] = {{"/data/cloud.ply", QStringLiteral("cloud.ply"), true}};
    small.layers[LayerType::Points] = {{"/data/finds.kml", QStringLiteral("finds.kml"), false}};
    small.bookmarks = {{1, 2, 3, 0, 0, 0, 0, 0, 1}};

    ProjectDocument nested;
    nested.tree = {node(Node::Folder, QStringLiteral("2015 season"), LayerType::None,
                        {node(Node::Layer, QStringLiteral("MODEL.obj"), LayerType::Mesh),
                         node(Node::Folder, QStringLiteral("Area B"), LayerType::None,
                              {node(Node::Layer, QStringLiteral("a:b.pts"), LayerType::PointCloud),
                               node(Node::Layer, QStringLiteral("loci.kml"), LayerType::Polygons)})}),
                   node(Node::Folder, QStringLiteral("Ägäis")),
                   node(Node::Layer, QStringLiteral("sparse.nvm"), LayerType::Bundle)};
    nested.layers[LayerType::Mesh] = {{"/data/MODEL.obj", QStringLiteral("MODEL.obj"), true}};
    nested.layers[LayerType::PointCloud] = {{"/data/a:b.pts", QStringLiteral("a:b.pts"), true}};
    nested.layers[LayerType::Polygons] = {{"/data/loci.kml", QStringLiteral("loci.kml"), true}};
    nested.layers[LayerType::Bundle] = {{"/data/sparse.nvm", QStringLiteral("sparse.nvm"), false}};
    nested.images = {{QStringLiteral("/photos/IMG_0001.JPG"), QStringLiteral("IMG_0001.JPG")}};
    nested.settings.bundleAdjustment = QStringLiteral("Bundler");
    nested.settings.displayOutput = true;
    nested.bookmarks = {{-10.5, 4, 20, 1, 1, 0, 0, 1, 0}, {0, 0, 10, 0, 0, 0, 0, 1, 0}};

    bool ok = ProjectWriter::writeFile(folder + QStringLiteral("empty.prj"), empty);
    ok = ProjectWriter::writeFile(folder + QStringLiteral("small.prj"), small) && ok;
    ok = ProjectWriter::writeFile(folder + QStringLiteral("nested.prj"), nested) && ok;
    return ok ? 0 : 1;
}
