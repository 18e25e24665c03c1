#include "scene/layers/ContourLayer.h"

#include <QCoreApplication>

#include "core/formats/PointShift.h"
#include "scene/layers/ContourSceneBuilder.h"

std::unique_ptr<ContourLayer> ContourLayer::load(const LayerOptions& options, PointShift& shift,
                                                 int projectEpsg, QString* error)
{
    const QString file = QString::fromUtf8(options.file);
    int epsg = 0;
    osg::ref_ptr<osg::Node> lines = ContourSceneBuilder::load(file, shift, error, &epsg);
    if (!lines)
        return nullptr;
    if (projectEpsg > 0 && epsg > 0 && epsg != projectEpsg) {
        if (error)
            *error = file + QCoreApplication::translate("ContourLayer",
                                                        ": its lines are in EPSG:%1, the project's survey "
                                                        "coordinates in EPSG:%2")
                                .arg(epsg)
                                .arg(projectEpsg);
        return nullptr;
    }
    return std::make_unique<ContourLayer>(options, placed(lines.get(), shift).get(), epsg);
}
