#include "ui/images/ImageFeatures.h"

#include <QFileInfo>

#include <cmath>

#include "scene/images/ImageMatchScene.h"
#include "scene/view/OsgWidget.h"

namespace
{

QString fileNameOf(const QString& path)
{
    return path.mid(std::max(path.lastIndexOf('/'), path.lastIndexOf('\\')) + 1);
}

} // namespace

int ImageFeatures::cameraOf(const QString& fileName, const OsgWidget* scene, QSet<int>* used)
{
    if (!scene || scene->sparseBundles().empty())
        return -1;
    // Bundles name images as their tool wrote them, often with a folder ("images/x.JPG").
    for (const SparseBundle::CameraList& cameras : scene->sparseBundles().front()->bundleCameras) {
        for (size_t i = 0; i < cameras.size(); ++i) {
            if (fileNameOf(QString::fromStdString(cameras[i]->name)).compare(fileName, Qt::CaseInsensitive) !=
                0)
                continue;
            if (used)
                for (const auto& view : cameras[i]->views)
                    used->insert(int(view->featureIndex));
            return int(i);
        }
    }
    return -1;
}

ImageFeatures ImageFeatures::read(const QString& imagePath, OsgWidget* scene)
{
    ImageFeatures out;
    const QString keyFile = FeatureFile::pathFor(imagePath);
    if (QFileInfo::exists(keyFile))
        FeatureFile::readFile(keyFile, out.features, &out.error);
    const QString name = fileNameOf(imagePath);
    out.cameraIndex = cameraOf(name, scene, &out.usedFeatures);
    if (scene)
        out.matchEntry = scene->imageMatches()->matchSetsFor(imagePath).indexOf(name);
    return out;
}

const FeatureRecord* ImageFeatures::nearest(const QPointF& point, double radius, double* distance) const
{
    const FeatureRecord* best = nullptr;
    double bestDistance = radius;
    for (const FeatureRecord& f : features) {
        const double d = std::hypot(f.x - point.x(), f.y - point.y());
        if (d < bestDistance) {
            bestDistance = d;
            best = &f;
        }
    }
    if (distance)
        *distance = bestDistance;
    return best;
}
