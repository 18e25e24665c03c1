#include "core/georef/AccuracyReport.h"

#include "common/geometry/RadialDistortion.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QSize>

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include <osg/Vec2d>

#include "core/formats/NvmReader.h"
#include "core/formats/SparseBundle.h"
#include "core/georef/ControlPointAdjustment.h"
#include "core/georef/ControlPointFit.h"
#include "core/georef/ExifGps.h"
#include "core/georef/GeoReference.h"
#include "core/georef/UtmProjection.h"
#include "core/images/ExifXmlReader.h"
#include "core/io/NumberString.h"
#include "core/products/ProductRecord.h"

namespace
{

QString fileNameOf(const QString& path)
{
    return path.mid(std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\'))) + 1);
}

double median(std::vector<double> v)
{
    if (v.empty())
        return 0;
    std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
    return v[v.size() / 2];
}

double quantile(std::vector<double> v, double q)
{
    if (v.empty())
        return 0;
    const size_t at = std::min(v.size() - 1, size_t(q * double(v.size())));
    std::nth_element(v.begin(), v.begin() + long(at), v.end());
    return v[at];
}

// JSON holds no NaN: a figure not known is null.
QJsonValue number(double value)
{
    return std::isfinite(value) ? QJsonValue(value) : QJsonValue();
}

QJsonObject statistics(const AccuracyStatistics& s)
{
    return {{"count", s.count},
            {"rmseX", s.rmseX},
            {"rmseY", s.rmseY},
            {"rmseZ", s.rmseZ},
            {"rmseHorizontal", s.rmseHorizontal},
            {"rmseVertical", s.rmseVertical},
            {"meanX", s.meanX},
            {"meanY", s.meanY},
            {"meanZ", s.meanZ},
            {"ce90", s.ce90},
            {"le90", s.le90},
            {"ce95", s.ce95},
            {"le95", s.le95},
            {"approximated", s.approximated}};
}

// A step of 1, 2 or 5 times a power of ten at least value.
double niceStep(double value)
{
    if (!(value > 0))
        return 1;
    const double p = std::pow(10.0, std::floor(std::log10(value)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * p >= value)
            return m * p;
    return 10 * p;
}

// Whether (x, y) lies inside the closed outline (even-odd rule).
bool inside(const std::vector<osg::Vec2d>& outline, double x, double y)
{
    bool in = false;
    for (size_t i = 0, j = outline.size() - 1; i < outline.size(); j = i++) {
        const osg::Vec2d& a = outline[i];
        const osg::Vec2d& b = outline[j];
        if ((a.y() > y) != (b.y() > y) && x < a.x() + (y - a.y()) * (b.x() - a.x()) / (b.y() - a.y()))
            in = !in;
    }
    return in;
}

// The photo's edges carried through its camera (survey coordinates under
// geo) onto the level z = height, corner by corner. False when a ray of its
// edge does not come down to that level (a photo of the horizon, a camera
// below the ground): such a photo counts for no cell.
bool footprint(const BundleCamera& camera, const GeoReference& geo, const QSize& size, double height,
               std::vector<osg::Vec2d>* outline)
{
    if (size.isEmpty() || !(camera.focalLength > 0))
        return false;
    const int n = AccuracyReport::footprintSteps;
    const double w = size.width(), h = size.height();
    for (int side = 0; side < 4; ++side)
        for (int step = 0; step < n; ++step) {
            const double t = double(step) / n;
            const double column = side == 0 ? t * w : side == 1 ? w : side == 2 ? (1 - t) * w : 0;
            const double row = side == 0 ? 0 : side == 1 ? t * h : side == 2 ? h : (1 - t) * h;
            const ControlPointFit::Ray ray = ControlPointFit::rayOf(camera, column, row, size);
            const osg::Vec3d origin = geo.apply(ray.origin);
            const osg::Vec3d direction = geo.apply(ray.origin + ray.direction) - origin;
            if (!(direction.z() < 0) || !(origin.z() > height))
                return false;
            const osg::Vec3d at = origin + direction * ((height - origin.z()) / direction.z());
            outline->push_back({at.x(), at.y()});
        }
    return true;
}

} // namespace

double AccuracyReport::Point::horizontal() const
{
    return std::hypot(residual.x(), residual.y());
}

QString AccuracyReport::jsonFile(const QString& pipelineFolder)
{
    return QDir(pipelineFolder).filePath(QStringLiteral("report/accuracy.json"));
}

QString AccuracyReport::htmlFile(const QString& pipelineFolder)
{
    return QDir(pipelineFolder).filePath(QStringLiteral("report/accuracy.html"));
}

QString AccuracyReport::stagesFile(const QString& pipelineFolder)
{
    return QDir(pipelineFolder).filePath(QStringLiteral("records/stages.txt"));
}

bool AccuracyReport::writeStages(const QString& pipelineFolder, const QVector<Stage>& stages, QString* error)
{
    const QString path = stagesFile(pipelineFolder);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    for (const Stage& s : stages)
        file.write(NumberString::shortest(s.seconds).toUtf8() + ' ' + s.name.toUtf8() + '\n');
    if (!file.commit()) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

QVector<AccuracyReport::Stage> AccuracyReport::readStages(const QString& pipelineFolder)
{
    QVector<Stage> stages;
    QFile file(stagesFile(pipelineFolder));
    if (!file.open(QIODevice::ReadOnly))
        return stages;
    // A handful of lines; anything longer is not ours.
    while (!file.atEnd() && stages.size() < 100) {
        const QByteArray line = file.readLine(4096).trimmed();
        const int blank = line.indexOf(' ');
        double seconds = 0;
        if (blank <= 0 || !NumberText::read(line.constData(), line.constData() + blank, seconds) ||
            !std::isfinite(seconds) || seconds < 0)
            continue;
        stages.append({QString::fromUtf8(line.mid(blank + 1)), seconds});
    }
    return stages;
}

bool AccuracyReport::build(const Input& input, AccuracyReport* out, QString* error)
{
    NvmReader::VertexArrays vertices;
    NvmReader::ColourArrays colours;
    SparseBundle bundle;
    std::string folderText, message;
    if (!NvmReader::readNvm(QFile::encodeName(input.nvmFile).toStdString(), vertices, colours, bundle,
                            folderText, &message) ||
        bundle.bundleCameras.empty()) {
        *error = QStringLiteral("%1: %2").arg(input.nvmFile, QString::fromStdString(message));
        return false;
    }
    const int model = input.model >= 0 && size_t(input.model) < bundle.bundleCameras.size() ? input.model : 0;
    const SparseBundle::CameraList& cameras = bundle.bundleCameras[size_t(model)];
    const QString imageFolder = QString::fromStdString(folderText);
    const QString pipeline = QFileInfo(input.nvmFile).absolutePath();

    // The photos' sizes; without a reader, the extent of each photo's
    // measurements stands for it (they count from the photo's centre).
    std::vector<QSize> photoSizes;
    bool firstRead = false; // the first photo's size read, not guessed
    for (const auto& camera : cameras) {
        QSize size;
        if (input.imageSize)
            size = input.imageSize(imageFolder + QString::fromStdString(camera->name));
        if (photoSizes.empty())
            firstRead = !size.isEmpty();
        if (size.isEmpty()) {
            double x = 0, y = 0;
            for (const auto& view : camera->views) {
                x = std::max(x, std::abs(view->x));
                y = std::max(y, std::abs(view->y));
            }
            size = QSize(int(std::ceil(2 * x)), int(std::ceil(2 * y)));
        }
        photoSizes.push_back(size);
    }

    AccuracyReport r;
    r.method = input.method;
    r.made = QDateTime::currentDateTime().toString(Qt::ISODate);
    GeoReference geo;
    r.georeferenced = GeoReference::read(GeoReference::companionFileName(input.nvmFile), geo);
    r.epsg = r.georeferenced ? geo.epsg : 0;
    r.photosRegistered = int(cameras.size());
    ProductRecord sparse;
    if (ProductRecord::read(pipeline, QLatin1String(ProductRecord::sparse), &sparse))
        r.photosListed = sparse.inputs.size();
    r.stages = readStages(pipeline);

    // The sparse points at survey coordinates.
    std::vector<osg::Vec3d> ground;
    if (size_t(model) < vertices.size() && vertices[size_t(model)])
        for (const osg::Vec3f& v : *vertices[size_t(model)])
            ground.push_back(geo.apply(osg::Vec3d(v)));

    // Cameras against their photos' GPS.
    // PROJ knows no system 0: no projection without one.
    std::unique_ptr<UtmProjection> grid;
    if (r.epsg != 0)
        grid = std::make_unique<UtmProjection>(r.epsg);
    std::vector<osg::Vec3d> gpsResiduals;
    std::vector<double> focals, radials, samples;
    const double groundHeight = median([&] {
        std::vector<double> z;
        for (const osg::Vec3d& p : ground)
            z.push_back(p.z());
        return z;
    }());
    for (const auto& camera : cameras) {
        Camera c;
        c.photo = fileNameOf(QString::fromStdString(camera->name));
        c.position = geo.apply(camera->centre);
        ExifGps::Position fix;
        QString ignored;
        double east = 0, north = 0;
        if (grid &&
            ExifGps::readFile(ExifGps::xmlPathOf(imageFolder + QString::fromStdString(camera->name)), &fix,
                              &ignored) &&
            fix.hasAltitude && grid->project(fix.latitude, fix.longitude, &east, &north)) {
            c.residual = c.position - osg::Vec3d(east, north, fix.altitude);
            gpsResiduals.push_back(c.residual);
        }
        r.cameras.append(c);
        focals.push_back(camera->focalLength);
        radials.push_back(camera->radial);
        // A pixel of a photo taken looking down covers height / focal of ground.
        if (!ground.empty() && camera->focalLength > 0 && c.position.z() > groundHeight)
            samples.push_back((c.position.z() - groundHeight) / camera->focalLength);
    }
    r.gps = AccuracyStatistics::of(gpsResiduals);
    r.groundSample = median(samples);
    r.calibration.focalPixels = median(focals);
    if (!focals.empty() && r.calibration.focalPixels > 0)
        r.calibration.focalSpread = (*std::max_element(focals.begin(), focals.end()) -
                                     *std::min_element(focals.begin(), focals.end())) /
                                    r.calibration.focalPixels;
    r.calibration.radial = median(radials);
    Calibration& k = r.calibration;
    if (!input.calibrations.isEmpty()) {
        k.found = *std::max_element(
            input.calibrations.begin(), input.calibrations.end(),
            [](const CameraCalibration& a, const CameraCalibration& b) { return a.photos < b.photos; });
        k.foundSource = QStringLiteral("adjustment");
    } else if (!cameras.empty() && k.focalPixels > 0) {
        // The NVM holds a focal length and one radial term, no principal point.
        k.found.focal = k.focalPixels;
        k.found.photos = int(cameras.size());
        k.foundSource = QStringLiteral("reconstruction");
        if (firstRead) {
            k.found.width = photoSizes[0].width();
            k.found.height = photoSizes[0].height();
            k.found.cx = 0.5 * k.found.width;
            k.found.cy = 0.5 * k.found.height;
            RadialDistortion::projectionFromNvm(
                k.radial, RadialDistortion::maxRadius(k.found.width, k.found.height, k.found.focal), k.found.k1,
                k.found.k2);
        }
    }
    if (!cameras.empty()) {
        ExifXmlReader::Values exif;
        if (ExifXmlReader::readFile(
                ExifGps::xmlPathOf(imageFolder + QString::fromStdString(cameras[0]->name)), exif)) {
            k.exifFocal = exif.focalLength;
            k.camera = QStringLiteral("%1 %2").arg(exif.make, exif.model).trimmed();
            // The EXIF's camera for the photos of the found calibration.
            const int width = k.found.width > 0 ? k.found.width : photoSizes[0].width();
            const int height = k.found.width > 0 ? k.found.height : photoSizes[0].height();
            const double f = ExifXmlReader::focalPixels(exif, width, height, &k.exifSource);
            if (f > 0) {
                k.exif.width = width;
                k.exif.height = height;
                k.exif.focal = f;
                k.exif.cx = 0.5 * width;
                k.exif.cy = 0.5 * height;
                k.exif.k1 = k.exif.k2 = 0;
                k.exif.photos = int(cameras.size());
            }
        }
    }

    // Control and check points: the fit's figures, or placed from their
    // photos under the georeference there is.
    std::vector<osg::Vec3d> controlResiduals, checkResiduals;
    for (const ControlPoint& p : input.points) {
        Point row;
        row.name = p.name;
        row.survey = p.survey;
        row.photos = p.observations.size();
        row.role = p.check     ? QStringLiteral("check")
                   : p.leftOut ? QStringLiteral("left out")
                               : QStringLiteral("control");
        if (p.hasFit()) {
            row.residual = p.offset;
            row.pixels = p.pixels;
        } else if (input.imageSize && r.georeferenced) {
            std::vector<ControlPointFit::Ray> rays;
            for (const ControlObservation& o : p.observations)
                for (const auto& camera : cameras)
                    if (fileNameOf(QString::fromStdString(camera->name))
                            .compare(fileNameOf(o.image), Qt::CaseInsensitive) == 0) {
                        const QSize size =
                            input.imageSize(imageFolder + QString::fromStdString(camera->name));
                        if (!size.isEmpty())
                            rays.push_back(ControlPointFit::rayOf(*camera, o.column, o.row, size));
                        break;
                    }
            osg::Vec3d at;
            double pixels = 0;
            QString why;
            if (ControlPointFit::triangulate(rays, &at, &pixels, &why)) {
                row.residual = geo.apply(at) - p.survey;
                row.pixels = pixels;
            }
        }
        if (!std::isfinite(row.residual.x()))
            row.role = QStringLiteral("not placed");
        else if (row.role == QLatin1String("control"))
            controlResiduals.push_back(row.residual);
        else if (row.role == QLatin1String("check"))
            checkResiduals.push_back(row.residual);
        r.points.append(row);
    }
    r.control = AccuracyStatistics::of(controlResiduals);
    r.check = AccuracyStatistics::of(checkResiduals);

    // Reprojection errors: every measurement against its point carried into
    // the photo (NVM measurements count from the photo's centre).
    std::vector<double> errors;
    const osg::Vec3Array* points = size_t(model) < vertices.size() ? vertices[size_t(model)].get() : nullptr;
    for (const auto& camera : cameras)
        for (const auto& view : camera->views) {
            const size_t index = size_t(view->pointIndex);
            if (!points || index >= points->size())
                continue;
            double column = 0, row = 0;
            if (ControlPointFit::project(*camera, osg::Vec3d((*points)[index]), QSize(0, 0), &column, &row))
                errors.push_back(std::hypot(column - view->x, row - view->y));
        }
    Histogram& h = r.reprojection;
    h.count = int(errors.size());
    if (!errors.empty()) {
        double sum = 0, squares = 0;
        for (double e : errors) {
            sum += e;
            squares += e * e;
            h.max = std::max(h.max, e);
        }
        h.mean = sum / double(errors.size());
        h.rms = std::sqrt(squares / double(errors.size()));
        h.median = median(errors);
        h.binWidth = niceStep(quantile(errors, 0.99) / histogramBins);
        h.counts.fill(0, histogramBins);
        for (double e : errors)
            ++h.counts[std::min(histogramBins - 1, int(e / h.binWidth))];
    }

    // Photos per ground cell over the points' extent (outliers aside), by
    // the photos' footprints on the level of the points' median height.
    if (ground.size() >= 2 && points) {
        std::vector<double> xs, ys;
        for (const osg::Vec3d& p : ground) {
            xs.push_back(p.x());
            ys.push_back(p.y());
        }
        const double x0 = quantile(xs, 0.01), x1 = quantile(xs, 0.99);
        const double y0 = quantile(ys, 0.01), y1 = quantile(ys, 0.99);
        Overlap& o = r.overlap;
        o.cell = std::max(x1 - x0, y1 - y0) / overlapCells;
        if (o.cell > 0) {
            o.originX = x0;
            o.originY = y0;
            o.columns = std::max(1, int(std::ceil((x1 - x0) / o.cell)));
            o.rows = std::max(1, int(std::ceil((y1 - y0) / o.cell)));
            o.photos.fill(0, o.columns * o.rows);
            for (size_t c = 0; c < cameras.size(); ++c) {
                std::vector<osg::Vec2d> outline;
                if (!footprint(*cameras[c], geo, photoSizes[c], groundHeight, &outline))
                    continue;
                double minX = outline[0].x(), maxX = minX, minY = outline[0].y(), maxY = minY;
                for (const osg::Vec2d& q : outline) {
                    minX = std::min(minX, q.x());
                    maxX = std::max(maxX, q.x());
                    minY = std::min(minY, q.y());
                    maxY = std::max(maxY, q.y());
                }
                const int c0 = std::max(0, int(std::floor((minX - x0) / o.cell)));
                const int c1 = std::min(o.columns - 1, int(std::floor((maxX - x0) / o.cell)));
                const int r0 = std::max(0, int(std::floor((minY - y0) / o.cell)));
                const int r1 = std::min(o.rows - 1, int(std::floor((maxY - y0) / o.cell)));
                for (int row = r0; row <= r1; ++row)
                    for (int col = c0; col <= c1; ++col)
                        if (inside(outline, x0 + (col + 0.5) * o.cell, y0 + (row + 0.5) * o.cell))
                            ++o.photos[row * o.columns + col];
            }
            for (int n : o.photos) {
                o.seen += n > 0 ? 1 : 0;
                o.fewerThanThree += n > 0 && n < 3 ? 1 : 0;
            }
            r.area = o.seen * o.cell * o.cell;
        }
    }
    *out = r;
    return true;
}

QJsonObject AccuracyReport::toJson() const
{
    QJsonObject root;
    root["method"] = method;
    root["made"] = made;
    root["epsg"] = epsg;
    root["georeferenced"] = georeferenced;
    root["photos"] = QJsonObject{{"listed", photosListed < 0 ? QJsonValue() : QJsonValue(photosListed)},
                                 {"registered", photosRegistered}};
    root["groundSampleMetres"] = groundSample;
    root["areaSquareMetres"] = area;
    QJsonArray stageList;
    for (const Stage& s : stages)
        stageList.append(QJsonObject{{"name", s.name}, {"seconds", s.seconds}});
    root["stages"] = stageList;
    QJsonArray cameraList;
    for (const Camera& c : cameras)
        cameraList.append(QJsonObject{{"photo", c.photo},
                                      {"x", c.position.x()},
                                      {"y", c.position.y()},
                                      {"z", c.position.z()},
                                      {"dx", number(c.residual.x())},
                                      {"dy", number(c.residual.y())},
                                      {"dz", number(c.residual.z())}});
    root["cameras"] = cameraList;
    root["gpsStatistics"] = statistics(gps);
    QJsonArray pointList;
    for (const Point& p : points)
        pointList.append(QJsonObject{{"name", p.name},
                                     {"role", p.role},
                                     {"x", p.survey.x()},
                                     {"y", p.survey.y()},
                                     {"z", p.survey.z()},
                                     {"dx", number(p.residual.x())},
                                     {"dy", number(p.residual.y())},
                                     {"dz", number(p.residual.z())},
                                     {"horizontal", number(p.horizontal())},
                                     {"vertical", number(p.vertical())},
                                     {"pixels", number(p.pixels)},
                                     {"photos", p.photos}});
    root["points"] = pointList;
    root["controlStatistics"] = statistics(control);
    root["checkStatistics"] = statistics(check);
    QJsonArray counts;
    for (int n : reprojection.counts)
        counts.append(n);
    root["reprojection"] = QJsonObject{{"count", reprojection.count},
                                       {"mean", reprojection.mean},
                                       {"rms", reprojection.rms},
                                       {"median", reprojection.median},
                                       {"max", reprojection.max},
                                       {"binWidth", reprojection.binWidth},
                                       {"counts", counts}};
    QJsonArray cells;
    for (int n : overlap.photos)
        cells.append(n);
    root["overlap"] = QJsonObject{{"originX", overlap.originX}, {"originY", overlap.originY},
                                  {"cell", overlap.cell},       {"columns", overlap.columns},
                                  {"rows", overlap.rows},       {"photos", cells},
                                  {"seen", overlap.seen},       {"fewerThanThree", overlap.fewerThanThree}};
    const auto camera = [](const CameraCalibration& c, const QString& source) {
        return QJsonObject{{"source", source.isEmpty() ? QJsonValue() : QJsonValue(source)},
                           {"width", c.width},
                           {"height", c.height},
                           {"photos", c.photos},
                           {"focalPixels", number(c.focal)},
                           {"cx", number(c.cx)},
                           {"cy", number(c.cy)},
                           {"k1", number(c.k1)},
                           {"k2", number(c.k2)}};
    };
    root["calibration"] = QJsonObject{{"focalPixels", calibration.focalPixels},
                                      {"focalSpread", calibration.focalSpread},
                                      {"radial", calibration.radial},
                                      {"exifFocal", calibration.exifFocal},
                                      {"camera", calibration.camera},
                                      {"found", camera(calibration.found, calibration.foundSource)},
                                      {"exif", camera(calibration.exif, calibration.exifSource)}};
    return root;
}

bool AccuracyReport::writeJson(const QString& pipelineFolder, QString* error) const
{
    const QString path = jsonFile(pipelineFolder);
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        *error = QStringLiteral("%1: the folder cannot be made").arg(QFileInfo(path).absolutePath());
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(toJson()).toJson()) < 0 ||
        !file.commit()) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}
