#include "core/georef/TargetSearch.h"

#include <QFile>
#include <QHash>
#include <QMap>

#include <algorithm>
#include <cmath>
#include <memory>

#include <cpl_error.h>
#include <gdal_priv.h>
#include <opencv2/imgproc.hpp>

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

// A photo opened through GDAL, whose JPEG reader decodes no further into the
// photo than the rows a window needs and keeps the decoded rows in GDAL's
// bounded block cache: one decoding per photo for windows read top to bottom,
// and never the whole photo in memory. The pixels are read as stored, the
// EXIF orientation not applied: observations count the stored pixels.
class PhotoWindows
{
public:
    explicit PhotoWindows(const QString& path)
    {
        CPLPushErrorHandler(CPLQuietErrorHandler);
        m_photo.reset(
            GDALDataset::Open(QFile::encodeName(path).constData(), GDAL_OF_RASTER | GDAL_OF_READONLY));
        CPLPopErrorHandler();
        if (m_photo && m_photo->GetRasterCount() < 1)
            m_photo.reset();
    }
    bool isOpen() const { return m_photo != nullptr; }
    cv::Size size() const
    {
        return m_photo ? cv::Size(m_photo->GetRasterXSize(), m_photo->GetRasterYSize()) : cv::Size();
    }

    // The window as 8-bit grey (colour photos weighed as OpenCV's grey); empty when unreadable.
    cv::Mat grey(const cv::Rect& r) const
    {
        cv::Mat out;
        if (!m_photo || r.empty())
            return out;
        CPLPushErrorHandler(CPLQuietErrorHandler);
        if (m_photo->GetRasterCount() >= 3) {
            cv::Mat rgb(r.height, r.width, CV_8UC3);
            int bands[3] = {1, 2, 3};
            if (m_photo->RasterIO(GF_Read, r.x, r.y, r.width, r.height, rgb.data, r.width, r.height, GDT_Byte,
                                  3, bands, 3, GSpacing(rgb.step[0]), 1, nullptr) == CE_None)
                cv::cvtColor(rgb, out, cv::COLOR_RGB2GRAY);
        } else {
            out.create(r.height, r.width, CV_8UC1);
            if (m_photo->GetRasterBand(1)->RasterIO(GF_Read, r.x, r.y, r.width, r.height, out.data, r.width,
                                                    r.height, GDT_Byte, 1, GSpacing(out.step[0]),
                                                    nullptr) != CE_None)
                out.release();
        }
        CPLPopErrorHandler();
        return out;
    }

private:
    struct Close {
        void operator()(GDALDataset* d) const { GDALClose(d); }
    };
    std::unique_ptr<GDALDataset, Close> m_photo;
};

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
    GDALAllRegister();
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
        QVector<int> here = byPhoto[path];
        const PhotoWindows photo(path);
        const cv::Size size = photo.size();
        // Top to bottom, so that the photo is decoded once.
        std::sort(here.begin(), here.end(), [&](int a, int b) {
            return detector.windowOf(size, predictions[a].column, predictions[a].row).y <
                   detector.windowOf(size, predictions[b].column, predictions[b].row).y;
        });
        for (int i : here) {
            const Prediction& p = predictions[i];
            const cv::Rect window = detector.windowOf(size, p.column, p.row);
            TargetDetector::Result r;
            if (photo.isOpen())
                r = detector.find(photo.grey(window), window.x, window.y, size, p.column, p.row);
            else
                r.reason = QStringLiteral("the photo cannot be read");
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
    Outcome found =
        search(predict(bundle, geo, points, imageSize), points, TargetDetector(options), progress);
    if (bundle.lensDamaged)
        found.lensNote = QString::fromStdString(bundle.lensMessage);
    return found;
}
