#include "ui/images/ImageFeatures.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QVector>

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

int ImageFeatures::cameraOf(const QString& imagePath, const OsgWidget* scene, QSet<int>* used,
                            QString* folder, QString* problem)
{
    if (!scene)
        return -1;
    struct Candidate {
        size_t bundle;
        const BundleCamera* camera;
        int index;
        QString folder;
    };
    const QString fileName = fileNameOf(imagePath);
    const QString image = QDir::cleanPath(QFileInfo(imagePath).absoluteFilePath());
    QVector<Candidate> candidates;
    QSet<size_t> bundles;
    const auto& loaded = scene->sparseBundles();
    for (size_t b = 0; b < loaded.size(); ++b) {
        // Bundles name images as their tool wrote them, often with a folder ("images/x.JPG").
        for (const SparseBundle::CameraList& cameras : loaded[b]->bundleCameras) {
            for (size_t i = 0; i < cameras.size(); ++i) {
                const BundleCamera& camera = *cameras[i];
                const QString name = QString::fromStdString(camera.name);
                if (fileNameOf(name).compare(fileName, Qt::CaseInsensitive) != 0)
                    continue;
                const QString path = QString::fromStdString(camera.path);
                const QString cameraFolder =
                    path.endsWith(name) ? path.left(path.size() - name.size()) : QString();
                candidates.append({b, &camera, int(i), cameraFolder});
                bundles.insert(b);
                break; // the first camera of each model list
            }
        }
    }
    const Candidate* chosen = nullptr;
    for (const Candidate& c : qAsConst(candidates)) {
        const QString path = QString::fromStdString(c.camera->path);
        if (!path.isEmpty() &&
            QDir::cleanPath(QFileInfo(path).absoluteFilePath()).compare(image, Qt::CaseInsensitive) == 0) {
            chosen = &c;
            break;
        }
    }
    if (!chosen && bundles.size() == 1)
        chosen = &candidates.first();
    if (!chosen) {
        if (problem && bundles.size() > 1) {
            QStringList folders;
            for (const Candidate& c : qAsConst(candidates))
                if (!folders.contains(c.folder))
                    folders << c.folder;
            *problem =
                QStringLiteral("%1 is in %2 loaded reconstructions (%3) and lies in the folder of none "
                               "of them: it is not known whose cameras it was taken with")
                    .arg(fileName)
                    .arg(bundles.size())
                    .arg(folders.join(QStringLiteral(", ")));
        }
        return -1;
    }
    if (used)
        for (const auto& view : chosen->camera->views)
            used->insert(int(view->featureIndex));
    if (folder)
        *folder = chosen->folder;
    return chosen->index;
}

ImageFeatures ImageFeatures::read(const QString& imagePath, OsgWidget* scene)
{
    ImageFeatures out;
    const QString keyFile = FeatureFile::pathFor(imagePath);
    if (QFileInfo::exists(keyFile))
        FeatureFile::readFile(keyFile, out.features, &out.error);
    const QString name = fileNameOf(imagePath);
    out.cameraIndex =
        cameraOf(imagePath, scene, &out.usedFeatures, &out.reconstructionFolder, &out.cameraProblem);
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
