#include "scene/layers/ModelLayer.h"

#include <QCoreApplication>
#include <QFile>

#include <osgDB/ReadFile>

#include "core/formats/PointShift.h"
#include "scene/layers/PointCloudLoader.h"
#include "scene/layers/VertexShifter.h"

ModelLayer::ModelLayer(const LayerOptions& options, osg::Node* node) : SceneLayer(options, node) {}

std::unique_ptr<ModelLayer> ModelLayer::read(const LayerOptions& options, PointShift& shift, QString* error)
{
    osg::ref_ptr<osg::Node> node =
        osgDB::readNodeFile(QFile::encodeName(QString::fromUtf8(options.file)).toStdString());
    if (!node) {
        if (error)
            *error =
                QString::fromUtf8(options.file) +
                QCoreApplication::translate("ModelLayer", ": the scene-graph library cannot read this model");
        return nullptr;
    }
    VertexShifter::shift(*node, shift);
    if (shift.isShifted()) {
        osg::ref_ptr<osg::Group> group = new osg::Group;
        group->addChild(node.get());
        node = PointCloudLoader::placeAt(group.get(), shift.offset());
    }
    return std::make_unique<ModelLayer>(options, node.get());
}

bool ModelLayer::holdsOrigin() const
{
    return PointCloudLoader::offsetOf(m_node.get()) != osg::Vec3d();
}
