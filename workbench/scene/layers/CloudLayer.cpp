#include "scene/layers/CloudLayer.h"

#include <QCoreApplication>

#include "scene/layers/PointCloudLoader.h"

bool CloudLayer::isArchive() const
{
    return PointCloudLoader::isArchive(m_node.get());
}

bool CloudLayer::exportTo(const QString& fileName, QString* message) const
{
    const osg::Group* group = m_node ? m_node->asGroup() : nullptr;
    if (!group) {
        if (message)
            *message =
                QCoreApplication::translate("CloudLayer", "That layer holds no point cloud to export.");
        return false;
    }
    return PointCloudLoader::exportPointCloud(fileName, group, message);
}
