#include "scene/layers/TerrainLayer.h"

#include <QCoreApplication>
#include <QFile>

#include <osgDB/ReadFile>

#include "core/formats/PointShift.h"
#include "scene/layers/PointCloudLoader.h"

TerrainLayer::TerrainLayer(const LayerOptions& options, osg::Node* node, int epsg)
    : SceneLayer(options, node), m_epsg(epsg > 0 ? epsg : 0)
{
}

std::unique_ptr<TerrainLayer> TerrainLayer::read(const LayerOptions& options, QString* error)
{
    osg::ref_ptr<osg::Node> node =
        osgDB::readNodeFile(QFile::encodeName(QString::fromUtf8(options.file)).toStdString());
    if (!node) {
        if (error)
            *error = QString::fromUtf8(options.file) +
                     QCoreApplication::translate("TerrainLayer",
                                                 ": the scene-graph library cannot read this terrain");
        return nullptr;
    }
    return std::make_unique<TerrainLayer>(options, node.get());
}

osg::ref_ptr<osg::Node> TerrainLayer::placed(osg::Node* content, const PointShift& shift)
{
    if (!shift.isShifted())
        return content;
    osg::ref_ptr<osg::Group> group = new osg::Group;
    group->addChild(content);
    return PointCloudLoader::placeAt(group.get(), shift.offset());
}
