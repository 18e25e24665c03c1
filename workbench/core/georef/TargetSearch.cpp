#include "core/georef/TargetSearch.h"

#include <QFile>
#include <QHash>
#include <QMap>
#include <QSet>

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
#include "core/georef/SimilarityFit.h"

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
    return predict(
        bundle, [&geo](const osg::Vec3d& survey) { return geo.modelPoint(survey); }, points, imageSize);
}

QVector<TargetSearch::Prediction> TargetSearch::predict(const SparseBundle& bundle, const ModelOf& modelOf,
                                                        const QVector<ControlPoint>& points,
                                                        const ImageSize& imageSize, double across,
                                                        double height)
{
    QVector<Prediction> out;
    QVector<osg::Vec3d> model;
    // Where each point lands when its survey coordinates are off by the
    // expected error, one axis at a time.
    QVector<QVector<osg::Vec3d>> moved(points.size());
    const bool reach = across > 0 || height > 0;
    for (int i = 0; i < points.size(); ++i) {
        const osg::Vec3d& p = points[i].survey;
        model.append(modelOf(p));
        if (reach)
            for (const osg::Vec3d& d :
                 {osg::Vec3d(across, 0, 0), osg::Vec3d(-across, 0, 0), osg::Vec3d(0, across, 0),
                  osg::Vec3d(0, -across, 0), osg::Vec3d(0, 0, height), osg::Vec3d(0, 0, -height)})
                moved[i].append(modelOf(p + d));
    }
    for (int m = 0; m < int(bundle.bundleCameras.size()); ++m) {
        const SparseBundle::CameraList& cameras = bundle.bundleCameras[size_t(m)];
        for (int k = 0; k < int(cameras.size()); ++k) {
            const BundleCamera& camera = *cameras[size_t(k)];
            const QString path = QString::fromStdString(camera.path);
            const QSize size = imageSize(path);
            if (size.isEmpty())
                continue;
            const double widest = std::max(size.width(), size.height()) / 3.0;
            for (int i = 0; i < points.size(); ++i) {
                double column, row;
                if (!ControlPointFit::project(camera, model[i], size, &column, &row) || column < 0 ||
                    row < 0 || column > size.width() || row > size.height())
                    continue;
                Prediction p{points[i].name, path, fileNameOf(path), column, row, 0, m, k, size};
                for (const osg::Vec3d& at : moved[i]) {
                    double c, r;
                    // Behind the camera: as far as a search may go.
                    p.reach = ControlPointFit::project(camera, at, size, &c, &r)
                                  ? std::max(p.reach, std::hypot(c - column, r - row))
                                  : widest;
                }
                p.reach = std::min(p.reach, widest);
                out.append(p);
            }
        }
    }
    return out;
}

TargetSearch::Correction TargetSearch::correct(const SparseBundle& bundle, const GeoReference& geo,
                                               const QVector<ControlPoint>& points,
                                               const QVector<Prediction>& searched,
                                               const QVector<Candidate>& found)
{
    Correction out;
    out.modelOf = [geo](const osg::Vec3d& survey) { return geo.modelPoint(survey); };
    // Rays meeting within this many pixels of every photo's find agree.
    constexpr double agree = 3.0;
    struct Find {
        const BundleCamera* camera;
        QSize size;
        double column, row;
    };
    std::vector<osg::Vec3d> placed, surveyed;
    for (const ControlPoint& point : points) {
        // The point's finds, in the model most of them belong to.
        QMap<int, std::vector<Find>> byModel;
        for (const Candidate& c : found) {
            if (c.point != point.name || c.prediction < 0 || c.prediction >= searched.size())
                continue;
            const Prediction& p = searched[c.prediction];
            if (p.model < 0 || p.model >= int(bundle.bundleCameras.size()) || p.camera < 0 ||
                p.camera >= int(bundle.bundleCameras[size_t(p.model)].size()))
                continue;
            byModel[p.model].push_back(
                {bundle.bundleCameras[size_t(p.model)][size_t(p.camera)].get(), p.size, c.column, c.row});
        }
        std::vector<Find> finds;
        for (const std::vector<Find>& f : byModel)
            if (f.size() > finds.size())
                finds = f;
        if (finds.size() > 30)
            finds.resize(30);
        // The largest set of finds one point explains: tried from every pair.
        const auto inliersOf = [&](const osg::Vec3d& x) {
            std::vector<size_t> in;
            for (size_t k = 0; k < finds.size(); ++k) {
                double c, r;
                if (ControlPointFit::project(*finds[k].camera, x, finds[k].size, &c, &r) &&
                    std::hypot(c - finds[k].column, r - finds[k].row) <= agree)
                    in.push_back(k);
            }
            return in;
        };
        std::vector<size_t> best;
        for (size_t a = 0; a < finds.size(); ++a)
            for (size_t b = a + 1; b < finds.size(); ++b) {
                osg::Vec3d x;
                QString why;
                if (!ControlPointFit::triangulate({ControlPointFit::rayOf(*finds[a].camera, finds[a].column,
                                                                          finds[a].row, finds[a].size),
                                                   ControlPointFit::rayOf(*finds[b].camera, finds[b].column,
                                                                          finds[b].row, finds[b].size)},
                                                  &x, nullptr, &why))
                    continue;
                const std::vector<size_t> in = inliersOf(x);
                if (in.size() > best.size())
                    best = in;
            }
        if (best.size() < 2)
            continue;
        std::vector<ControlPointFit::Ray> rays;
        for (size_t k : best)
            rays.push_back(
                ControlPointFit::rayOf(*finds[k].camera, finds[k].column, finds[k].row, finds[k].size));
        osg::Vec3d x;
        QString why;
        if (!ControlPointFit::triangulate(rays, &x, nullptr, &why))
            continue;
        placed.push_back(geo.apply(x));
        surveyed.push_back(point.survey);
    }

    double sum = 0;
    for (size_t i = 0; i < placed.size(); ++i)
        sum += (surveyed[i] - placed[i]).length2();
    out.error = placed.empty() ? 0 : std::sqrt(sum / double(placed.size()));
    out.points = int(placed.size());
    if (placed.empty()) {
        out.note = QStringLiteral("no target was found alike in two photos by the first, wide search: the "
                                  "photos are searched where the georeference puts the targets");
        return out;
    }
    SimilarityFit::Result fit;
    QString why;
    if (placed.size() >= 3 && SimilarityFit::robustFit(placed, surveyed, &fit, &why)) {
        // survey = t + s R (placed): a survey point comes from R^T (survey - t) / s.
        out.similarity = true;
        out.points = int(std::count(fit.used.begin(), fit.used.end(), true));
        // How far off the georeference was, over the points the fit rests on
        // (a point surveyed wrongly, or another target taken for it, is not).
        double used = 0;
        for (size_t i = 0; i < placed.size(); ++i)
            used += fit.used[i] ? (surveyed[i] - placed[i]).length2() : 0.0;
        out.error = std::sqrt(used / std::max(1, out.points));
        out.modelOf = [geo, fit](const osg::Vec3d& survey) {
            const osg::Vec3d d = (survey - fit.translation) / fit.scale;
            osg::Vec3d p;
            for (int c = 0; c < 3; ++c)
                p[c] = fit.rotation(0, c) * d.x() + fit.rotation(1, c) * d.y() + fit.rotation(2, c) * d.z();
            return geo.modelPoint(p);
        };
    } else {
        // Too few for a similarity, or none consistent: the median shift.
        osg::Vec3d shift;
        for (int c = 0; c < 3; ++c) {
            std::vector<double> d;
            for (size_t i = 0; i < placed.size(); ++i)
                d.push_back(surveyed[i][c] - placed[i][c]);
            std::nth_element(d.begin(), d.begin() + long(d.size() / 2), d.end());
            shift[c] = d[d.size() / 2];
        }
        out.modelOf = [geo, shift](const osg::Vec3d& survey) { return geo.modelPoint(survey - shift); };
    }
    out.note = QStringLiteral("the first, wide search found %1 point(s) in two or more photos, %2 m from "
                              "their survey coordinates where the georeference puts them (RMS over the %3 "
                              "the correction rests on): the photos are searched again where %4 puts the "
                              "targets")
                   .arg(placed.size())
                   .arg(out.error, 0, 'f', 2)
                   .arg(out.points)
                   .arg(out.similarity ? QStringLiteral("a similarity to %1 of them").arg(out.points)
                                       : QStringLiteral("their median shift"));
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
        // A prediction with a reach of its own is searched that wide, for the nearest checker.
        const auto detectorOf = [&](const Prediction& p) {
            if (!(p.reach > 0))
                return detector;
            TargetDetector::Options wide = detector.options();
            wide.window = std::max(wide.window, int(std::ceil(2 * p.reach)));
            wide.nearest = true;
            return TargetDetector(wide);
        };
        std::sort(here.begin(), here.end(), [&](int a, int b) {
            return detectorOf(predictions[a]).windowOf(size, predictions[a].column, predictions[a].row).y <
                   detectorOf(predictions[b]).windowOf(size, predictions[b].column, predictions[b].row).y;
        });
        for (int i : here) {
            const Prediction& p = predictions[i];
            const TargetDetector searching = detectorOf(p);
            const cv::Rect window = searching.windowOf(size, p.column, p.row);
            TargetDetector::Result r;
            if (photo.isOpen())
                r = searching.find(photo.grey(window), window.x, window.y, size, p.column, p.row);
            else
                r.reason = QStringLiteral("the photo cannot be read");
            if (!r.found) {
                out.refusals.append({p.point, p.image, p.column, p.row, r.reason});
                continue;
            }
            Candidate c{p.point, p.image, r.column,
                        r.row,   r.score, std::hypot(r.column - p.column, r.row - p.row),
                        false,   i};
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
    SparseBundle bundle;
    QString message;
    if (!NvmReader::readBundle(nvmFile, bundle, &message)) {
        out.message = message;
        return out;
    }
    // Both searches' photos count in the progress.
    const auto photosOf = [](const QVector<Prediction>& predictions) {
        QSet<QString> paths;
        for (const Prediction& p : predictions)
            paths.insert(p.path);
        return int(paths.size());
    };
    const TargetDetector detector(options);
    const QVector<Prediction> wide = predict(
        bundle, [&geo](const osg::Vec3d& survey) { return geo.modelPoint(survey); }, points, imageSize,
        expectedAcross, expectedHeight);
    const int widePhotos = photosOf(wide);
    int total = 2 * widePhotos;
    Outcome first =
        search(wide, points, detector, [&](int done, int) { return !progress || progress(done, total); });
    if (first.stopped) {
        // The wide search's finds are no candidates: nothing to offer.
        first.candidates.clear();
        first.refusals.clear();
        return first;
    }
    const Correction correction = correct(bundle, geo, points, wide, first.candidates);
    const QVector<Prediction> narrow =
        predict(bundle, correction.modelOf, points, imageSize, correction.similarity ? 0.0 : expectedAcross,
                correction.similarity ? 0.0 : expectedHeight);
    total = widePhotos + photosOf(narrow);
    Outcome found = search(narrow, points, detector,
                           [&](int done, int) { return !progress || progress(widePhotos + done, total); });
    found.correction = correction.note;
    if (bundle.lensDamaged)
        found.lensNote = QString::fromStdString(bundle.lensMessage);
    return found;
}
