#include "core/georef/TargetSearch.h"

#include <QFile>
#include <QHash>
#include <QMap>

#include <cmath>

#include <opencv2/imgcodecs.hpp>

#include "core/formats/NvmReader.h"
#include "core/formats/SparseBundle.h"
#include "core/georef/ControlPointFit.h"
#include "core/georef/GeoReference.h"

namespace
{

QString fileNameOf(const QString& path)
{
    return path.mid(std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\'))) + 1);
}

} // namespace

QVector<TargetSearch::Prediction> TargetSearch::predict(const SparseBundle& bundle, const GeoReference& geo,
                                                        const QVector<ControlPoint>& points,
                                                        const ImageSize& imageSize)
{
    QVector<Prediction> out;
    QVector<osg::Vec3d> model;
    for (const ControlPoint& p : points)
        model.append(geo.modelPoint(p.survey));
    for (const SparseBundle::CameraList& cameras : bundle.bundleCameras)
        for (const auto& camera : cameras) {
            const QString path = QString::fromStdString(camera->path);
            const QSize size = imageSize(path);
            if (size.isEmpty())
                continue;
            for (int i = 0; i < points.size(); ++i) {
                double column, row;
                if (!ControlPointFit::project(*camera, model[i], size, &column, &row) || column < 0 ||
                    row < 0 || column > size.width() || row > size.height())
                    continue;
                out.append({points[i].name, path, fileNameOf(path), column, row});
            }
        }
    return out;
}

TargetSearch::Outcome TargetSearch::search(const QVector<Prediction>& predictions,
                                           const QVector<ControlPoint>& points,
                                           const TargetDetector& detector, const Progress& progress)
{
    Outcome out;
    // Photo by photo, in the order they first appear.
    QMap<int, QString> order;
    QHash<QString, QVector<int>> byPhoto;
    for (int i = 0; i < predictions.size(); ++i) {
        if (!byPhoto.contains(predictions[i].path))
            order.insert(i, predictions[i].path);
        byPhoto[predictions[i].path].append(i);
    }
    QHash<QString, const ControlPoint*> named;
    for (const ControlPoint& p : points)
        named.insert(p.name, &p);
    int done = 0;
    for (const QString& path : order) {
        const QVector<int>& here = byPhoto[path];
        // The photo as stored, its EXIF orientation not applied: observations count its stored pixels.
        const cv::Mat photo = cv::imread(QFile::encodeName(path).toStdString(),
                                         cv::IMREAD_GRAYSCALE | cv::IMREAD_IGNORE_ORIENTATION);
        for (int i : here) {
            const Prediction& p = predictions[i];
            const TargetDetector::Result r = detector.find(photo, p.column, p.row);
            if (!r.found) {
                out.refusals.append({p.point, p.image, p.column, p.row, r.reason});
                continue;
            }
            Candidate c{p.point, p.image, r.column,
                        r.row,   r.score, std::hypot(r.column - p.column, r.row - p.row)};
            if (const ControlPoint* point = named.value(p.point))
                for (const ControlObservation& o : point->observations)
                    c.handMarked = c.handMarked || o.image.compare(p.image, Qt::CaseInsensitive) == 0;
            out.candidates.append(c);
        }
        ++out.photos;
        if (progress && !progress(++done, order.size())) {
            out.stopped = true;
            break;
        }
    }
    return out;
}

TargetSearch::Outcome TargetSearch::run(const QString& nvmFile, const QVector<ControlPoint>& points,
                                        const ImageSize& imageSize, const TargetDetector::Options& options,
                                        const Progress& progress)
{
    Outcome out;
    if (points.isEmpty()) {
        out.message = QStringLiteral("there are no control or check points to find");
        return out;
    }
    GeoReference geo;
    QString error;
    const QString companion = GeoReference::companionFileName(nvmFile);
    if (!QFile::exists(companion)) {
        out.message =
            QStringLiteral("%1 is not georeferenced yet: run sparse with the photos' GPS or fit three "
                           "points marked by hand first")
                .arg(fileNameOf(nvmFile));
        return out;
    }
    if (!GeoReference::read(companion, geo, &error)) {
        out.message = error;
        return out;
    }
    NvmReader::VertexArrays vertices;
    NvmReader::ColourArrays colours;
    SparseBundle bundle;
    std::string folder, message;
    if (!NvmReader::readNvm(QFile::encodeName(nvmFile).toStdString(), vertices, colours, bundle, folder,
                            &message)) {
        out.message = QString::fromStdString(message);
        return out;
    }
    return search(predict(bundle, geo, points, imageSize), points, TargetDetector(options), progress);
}
