#include "core/georef/ControlPointFit.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>

#include "common/geometry/Rotation.h"
#include "common/numbers/NumberText.h"

#include "core/formats/NvmReader.h"
#include "core/formats/SparseBundle.h"
#include "core/georef/ExifGps.h"
#include "core/georef/GeoReference.h"
#include "core/georef/SurveySystem.h"
#include "core/georef/UtmProjection.h"
#include "core/products/ProductRecord.h"

namespace
{

QString fileNameOf(const QString& path)
{
    return path.mid(std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\'))) + 1);
}

// Solves the symmetric 3 x 3 system a x = b by Cramer's rule; false when singular.
bool solve3(const double a[3][3], const osg::Vec3d& b, osg::Vec3d* x)
{
    auto det = [](const double m[3][3]) {
        return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
               m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
               m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
    };
    const double d = det(a);
    double scale = 0;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            scale = std::max(scale, std::abs(a[r][c]));
    if (!(std::abs(d) > 1e-12 * scale * scale * scale))
        return false;
    for (int k = 0; k < 3; ++k) {
        double m[3][3];
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                m[r][c] = c == k ? b[r] : a[r][c];
        (*x)[k] = det(m) / d;
    }
    return true;
}

QString metres(double value)
{
    return QString::number(value, 'f', 3) + QStringLiteral(" m");
}

struct Located {
    int model = -1;
    int camera = -1;
};

// Where a lens's principal point lies from the photo's centre, in the
// corner-origin pixels of ControlObservation (the lens counts from the
// top-left pixel's centre).
double principalOffset(double centre, int size)
{
    return centre + 0.5 - 0.5 * size;
}

// The NVM quaternion (kept x, y, z, w) as the rotation of world into camera axes.
Rotation::Matrix rotationOf(const BundleCamera& camera)
{
    return Rotation::matrixOf(
        {camera.rotation[3], camera.rotation[0], camera.rotation[1], camera.rotation[2]});
}

// A point placed by the photos: its index among the points, where the
// model puts it, and the photos (camera, size, observed pixel) it rests on.
struct Placed {
    int point = -1;
    osg::Vec3d model;
    struct Seen {
        const BundleCamera* camera;
        QSize size;
        double column, row;
    };
    std::vector<Seen> seen;
};

bool fitSubset(const std::vector<Placed>& placed, const QVector<ControlPoint>& points,
               const std::vector<size_t>& use, SimilarityFit::Result* fit, QString* why)
{
    std::vector<osg::Vec3d> from, to;
    for (size_t i : use) {
        from.push_back(placed[i].model);
        to.push_back(points[placed[i].point].survey);
    }
    return SimilarityFit::fit(from, to, fit, why);
}

// The model point a fit carries onto a survey point.
osg::Vec3d inverse(const SimilarityFit::Result& fit, const osg::Vec3d& survey)
{
    const osg::Vec3d d = (survey - fit.translation) / fit.scale;
    osg::Vec3d p;
    for (int k = 0; k < 3; ++k)
        p[k] = fit.rotation(0, k) * d[0] + fit.rotation(1, k) * d[1] + fit.rotation(2, k) * d[2];
    return p;
}

double median(std::vector<double> v)
{
    std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
    return v[v.size() / 2];
}

// Millimetres, without a "-0.000" for a rounding on the negative side.
QString axis(double value)
{
    return QString::number(std::abs(value) < 0.0005 ? 0.0 : value, 'f', 3);
}

QString figures(const ControlPoint& p)
{
    QString text = QStringLiteral("residual %1 (dX %2, dY %3, dZ %4)")
                       .arg(metres(p.residual), axis(p.offset.x()), axis(p.offset.y()), axis(p.offset.z()));
    if (std::isfinite(p.pixels))
        text += QStringLiteral(", %1 px").arg(p.pixels, 0, 'f', 2);
    return text;
}

} // namespace

ControlPointFit::Ray ControlPointFit::rayOf(const BundleCamera& camera, double column, double row,
                                            const QSize& imageSize)
{
    // NVM: the measurement from the photo's centre, normalised by the focal
    // length, is undistorted by m (1 + r |m|^2); the camera looks down +z
    // with y down, and the quaternion turns world into camera axes.
    const double f = camera.focalLength;
    double u = 0, v = 0;
    if (camera.lens.known) {
        // The adjusted lens: undo r = 1 + k1 |p|² + k2 |p|⁴ of the ideal p.
        const BundleCamera::Lens& lens = camera.lens;
        const double qx = (column - 0.5 * imageSize.width() - principalOffset(lens.cx, lens.width)) / lens.fx;
        const double qy = (row - 0.5 * imageSize.height() - principalOffset(lens.cy, lens.height)) / lens.fy;
        u = qx;
        v = qy;
        for (int i = 0; i < 100; ++i) {
            const double n2 = u * u + v * v, r = 1 + lens.k1 * n2 + lens.k2 * n2 * n2;
            const double nu = qx / r, nv = qy / r;
            const bool settled = std::abs(nu - u) < 1e-15 && std::abs(nv - v) < 1e-15;
            u = nu;
            v = nv;
            if (settled)
                break;
        }
    } else {
        const double mx = (column - 0.5 * imageSize.width()) / f;
        const double my = (row - 0.5 * imageSize.height()) / f;
        const double k = 1 + camera.radial * (mx * mx + my * my);
        u = mx * k;
        v = my * k;
    }
    const Rotation::Matrix R = rotationOf(camera);
    Ray ray;
    ray.origin = camera.centre;
    for (int c = 0; c < 3; ++c)
        ray.direction[c] = R[size_t(c)] * u + R[size_t(3 + c)] * v + R[size_t(6 + c)];
    ray.direction.normalize();
    ray.focal = f;
    return ray;
}

bool ControlPointFit::project(const BundleCamera& camera, const osg::Vec3d& point, const QSize& imageSize,
                              double* column, double* row)
{
    const Rotation::Matrix R = rotationOf(camera);
    const osg::Vec3d d = point - camera.centre;
    osg::Vec3d c;
    for (int r = 0; r < 3; ++r)
        c[r] = R[size_t(3 * r)] * d.x() + R[size_t(3 * r + 1)] * d.y() + R[size_t(3 * r + 2)] * d.z();
    if (!(c.z() > 0))
        return false;
    // The measurement m whose undistortion m (1 + r |m|^2) is the ideal
    // point: a fixed point that a handful of steps reaches for any lens a
    // reconstruction keeps.
    const double u = c.x() / c.z(), v = c.y() / c.z();
    if (camera.lens.known) {
        const BundleCamera::Lens& lens = camera.lens;
        const double n2 = u * u + v * v, r = 1 + lens.k1 * n2 + lens.k2 * n2 * n2;
        *column = 0.5 * imageSize.width() + principalOffset(lens.cx, lens.width) + lens.fx * u * r;
        *row = 0.5 * imageSize.height() + principalOffset(lens.cy, lens.height) + lens.fy * v * r;
        return std::isfinite(*column) && std::isfinite(*row);
    }
    double mx = u, my = v;
    for (int i = 0; i < 50; ++i) {
        const double k = 1 + camera.radial * (mx * mx + my * my);
        mx = u / k;
        my = v / k;
    }
    *column = mx * camera.focalLength + 0.5 * imageSize.width();
    *row = my * camera.focalLength + 0.5 * imageSize.height();
    return std::isfinite(*column) && std::isfinite(*row);
}

bool ControlPointFit::triangulate(const std::vector<Ray>& rays, osg::Vec3d* point, double* pixelError,
                                  QString* error)
{
    if (rays.size() < 2) {
        *error = QStringLiteral("seen in %1 photo(s) of the reconstruction, at least two are needed")
                     .arg(rays.size());
        return false;
    }
    double widest = 0;
    for (size_t i = 0; i < rays.size(); ++i)
        for (size_t j = i + 1; j < rays.size(); ++j)
            widest = std::max(widest, std::atan2((rays[i].direction ^ rays[j].direction).length(),
                                                 rays[i].direction * rays[j].direction));
    widest *= 180 / M_PI;
    if (widest < minimumAngleDegrees) {
        *error = QStringLiteral("its photos see it at angles %1 degrees apart at most, less than the %2 a "
                                "point needs: add a photo taken from further away")
                     .arg(widest, 0, 'g', 3)
                     .arg(minimumAngleDegrees);
        return false;
    }
    // Least squares over the distances to the rays; then again with each
    // ray weighted by its inverse squared depth, so that a far photo's pixel
    // counts as much as a near one's.
    std::vector<double> weight(rays.size(), 1.0);
    osg::Vec3d x;
    for (int round = 0; round < 4; ++round) {
        double a[3][3] = {};
        osg::Vec3d b;
        for (size_t i = 0; i < rays.size(); ++i) {
            const osg::Vec3d& d = rays[i].direction;
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c) {
                    const double m = weight[i] * ((r == c) - d[r] * d[c]);
                    a[r][c] += m;
                    b[r] += m * rays[i].origin[c];
                }
        }
        if (!solve3(a, b, &x)) {
            *error = QStringLiteral("its rays do not meet in one point");
            return false;
        }
        for (size_t i = 0; i < rays.size(); ++i) {
            const double depth = (x - rays[i].origin) * rays[i].direction;
            if (!(depth > 0)) {
                *error = QStringLiteral("it lies behind the camera of one of its photos: an observation "
                                        "shows another spot");
                return false;
            }
            weight[i] = 1 / (depth * depth);
        }
    }
    double worst = 0;
    for (const Ray& ray : rays) {
        const osg::Vec3d v = x - ray.origin;
        const double depth = v * ray.direction;
        const double miss = (v - ray.direction * depth).length();
        worst = std::max(worst, miss / depth * ray.focal);
    }
    *point = x;
    if (pixelError)
        *pixelError = worst;
    return true;
}

ControlPointFit::Outcome ControlPointFit::run(const QString& nvmFile, QVector<ControlPoint>& points,
                                              const ImageSize& imageSize, int epsg)
{
    SparseBundle bundle;
    QString message, folder;
    if (!NvmReader::readBundle(nvmFile, bundle, &message, &folder) || bundle.bundleCameras.empty()) {
        Outcome out;
        out.message = QStringLiteral("Ground control: %1").arg(message);
        return out;
    }
    Outcome out = run(bundle, folder, GeoReference::companionFileName(nvmFile), points, imageSize, epsg);
    if (bundle.lensDamaged)
        out.lines.prepend(QString::fromStdString(bundle.lensMessage));
    return out;
}

ControlPointFit::Outcome ControlPointFit::run(const SparseBundle& bundle, const QString& imageFolder,
                                              const QString& companionFile, QVector<ControlPoint>& points,
                                              const ImageSize& imageSize, int epsg, bool write)
{
    Outcome out;
    QStringList notes; // what was left out on the way
    auto refuse = [&](const QString& why) {
        out.message = QStringLiteral("Ground control: nothing written: ") + why;
        out.lines << notes << out.message;
        return out;
    };
    QString why;
    if (epsg != 0 && !SurveySystem::check(epsg, &why))
        return refuse(why);

    // The photos of every model by file name (case does not count: a
    // camera's card and a drone's list disagree about it).
    QHash<QString, Located> cameras;
    for (size_t m = 0; m < bundle.bundleCameras.size(); ++m)
        for (size_t i = 0; i < bundle.bundleCameras[m].size(); ++i) {
            const QString name =
                fileNameOf(QString::fromStdString(bundle.bundleCameras[m][i]->name)).toLower();
            if (!cameras.contains(name))
                cameras.insert(name, {int(m), int(i)});
        }
    // The reconstruction the points belong to: the model that holds most of their photos.
    std::map<int, int> votes;
    for (const ControlPoint& p : points)
        for (const ControlObservation& o : p.observations) {
            const auto found = cameras.constFind(fileNameOf(o.image).toLower());
            if (found != cameras.constEnd())
                ++votes[found->model];
        }
    if (votes.empty())
        return refuse(QStringLiteral("no control point has an observation in a photo of the reconstruction"));
    out.model = std::max_element(votes.begin(), votes.end(), [](const auto& a, const auto& b) {
                    return a.second < b.second;
                })->first;
    const SparseBundle::CameraList& list = bundle.bundleCameras[size_t(out.model)];

    std::vector<Placed> used, checks;
    QStringList problems;
    for (int k = 0; k < points.size(); ++k) {
        const ControlPoint& p = points[k];
        Placed placed;
        placed.point = k;
        std::vector<Ray> rays;
        int missing = 0;
        for (const ControlObservation& o : p.observations) {
            const auto found = cameras.constFind(fileNameOf(o.image).toLower());
            // A photo the run left out (or a renamed one) costs its
            // observation, as long as the point keeps the photos it needs.
            if (found == cameras.constEnd()) {
                notes << QStringLiteral(
                             "point %1: photo %2 is not in the reconstruction: its observation is left out")
                             .arg(p.name, o.image);
                ++missing;
                continue;
            }
            if (found->model != out.model)
                return refuse(
                    QStringLiteral("point %1: photo %2 belongs to another reconstruction (model %3) "
                                   "than the other points' photos (model %4)")
                        .arg(p.name, o.image)
                        .arg(found->model + 1)
                        .arg(out.model + 1));
            const BundleCamera& camera = *list[size_t(found->camera)];
            const QString path = imageFolder + QString::fromStdString(camera.name);
            const QSize size = imageSize ? imageSize(path) : QSize();
            if (size.isEmpty())
                return refuse(
                    QStringLiteral("point %1: the size of photo %2 cannot be read").arg(p.name, path));
            rays.push_back(rayOf(camera, o.column, o.row, size));
            placed.seen.push_back({&camera, size, o.column, o.row});
        }
        if (!triangulate(rays, &placed.model, nullptr, &why)) {
            QString line = QStringLiteral("point %1: %2").arg(p.name, why);
            if (missing)
                line += QStringLiteral(" (%1 observation(s) in photos not in the reconstruction left out)")
                            .arg(missing);
            if (!p.check)
                return refuse(line);
            problems << line + QStringLiteral(" (check point left out)");
            continue;
        }
        (p.check ? checks : used).push_back(placed);
    }
    if (used.size() < 3)
        return refuse(
            QStringLiteral("%1 used control point(s) placed in the photos, at least three are needed")
                .arg(used.size()));

    // Gross errors, one at a time: each used point against the fit of the
    // others; the one farthest from where they put it goes when it stands out.
    std::vector<size_t> active(used.size());
    std::iota(active.begin(), active.end(), 0);
    std::vector<size_t> dropped;
    std::vector<double> droppedOthersRms;
    while (active.size() >= 4) {
        double worst = -1, othersRms = 0;
        size_t at = 0;
        for (size_t a = 0; a < active.size(); ++a) {
            std::vector<size_t> others = active;
            others.erase(others.begin() + long(a));
            SimilarityFit::Result r;
            QString ignored;
            if (!fitSubset(used, points, others, &r, &ignored))
                continue;
            const double e = (r.apply(used[active[a]].model) - points[used[active[a]].point].survey).length();
            if (e > worst) {
                worst = e;
                othersRms = r.rms;
                at = a;
            }
        }
        if (!(worst > grossErrorMetres && worst > grossErrorFactor * othersRms))
            break;
        dropped.push_back(active[at]);
        droppedOthersRms.push_back(othersRms);
        active.erase(active.begin() + long(at));
    }
    SimilarityFit::Result fit;
    if (!fitSubset(used, points, active, &fit, &why))
        return refuse(why);
    if (active.size() == 3) {
        const auto worst = std::max_element(fit.residuals.begin(), fit.residuals.end());
        if (*worst > grossErrorMetres)
            return refuse(
                QStringLiteral("the three used control points disagree: %1 lies %2 from where the fit "
                               "puts it, more than the %3 good points allow, and with three the faulty "
                               "one cannot be told: check their coordinates, or add a used point")
                    .arg(points[used[active[size_t(worst - fit.residuals.begin())]].point].name,
                         metres(*worst), metres(grossErrorMetres)));
    }

    // The cameras against their photos' GPS, in the points' reference
    // system as PROJ gives it; photos without a fix are not compared.
    if (epsg != 0) {
        const UtmProjection grid(epsg);
        std::vector<double> across, height;
        for (const auto& camera : list) {
            ExifGps::Position gps;
            QString ignored;
            double east = 0, north = 0;
            if (!ExifGps::readFile(ExifGps::xmlPathOf(imageFolder + QString::fromStdString(camera->name)),
                                   &gps, &ignored) ||
                !grid.project(gps.latitude, gps.longitude, &east, &north))
                continue;
            const osg::Vec3d at = fit.apply(camera->centre);
            across.push_back(std::hypot(at.x() - east, at.y() - north));
            if (gps.hasAltitude)
                height.push_back(std::abs(at.z() - gps.altitude));
        }
        if (!across.empty() && !(median(across) <= gpsAcrossMetres))
            return refuse(
                QStringLiteral("the fit puts the cameras %1 away from their photos' GPS positions (median "
                               "of %2 photos; a consumer GPS is within %3): check the control points' "
                               "coordinates and reference system (easting and northing swapped? "
                               "another zone?)")
                    .arg(metres(median(across)))
                    .arg(across.size())
                    .arg(metres(gpsAcrossMetres)));
        if (!height.empty() && !(median(height) <= gpsHeightMetres))
            return refuse(
                QStringLiteral("the fit puts the cameras %1 above or below their photos' GPS heights "
                               "(median of %2 photos; GPS heights are within %3): check the control "
                               "points' heights")
                    .arg(metres(median(height)))
                    .arg(height.size())
                    .arg(metres(gpsHeightMetres)));
        if (across.empty())
            notes << QStringLiteral("The photos carry no GPS position: the fit was not compared with it");
    }

    GeoReference geo;
    geo.rotation = fit.rotation;
    geo.translation = fit.translation;
    geo.scale = osg::Vec3d(fit.scale, fit.scale, fit.scale);
    geo.epsg = epsg;
    out.fitted = true;
    out.similarity = fit;
    if (write && !geo.write(companionFile, &why))
        return refuse(why);

    out.written = write;
    // What the georeference was fitted to, so that results made with an
    // earlier one show stale; a companion beside no NVM file has none.
    const QString nvm = companionFile.left(companionFile.size() - 3) + QStringLiteral("nvm");
    if (write && QFileInfo::exists(nvm)) {
        const QString folder = QFileInfo(nvm).absolutePath();
        ProductRecord::make(folder, QLatin1String(ProductRecord::georeference), {nvm}, {companionFile},
                            QStringLiteral("control points"))
            .write(folder);
    }
    out.used = int(active.size());
    out.rms = fit.rms;
    for (ControlPoint& p : points)
        p.clearFit();
    // Metres where the fit puts each point against its survey; pixels where
    // the surveyed point, carried back into the model, lands in its photos.
    auto measure = [&](const Placed& placed) -> ControlPoint& {
        ControlPoint& p = points[placed.point];
        p.offset = fit.apply(placed.model) - p.survey;
        p.residual = p.offset.length();
        const osg::Vec3d back = inverse(fit, p.survey);
        double sum = 0;
        int n = 0;
        for (const Placed::Seen& s : placed.seen) {
            double column = 0, row = 0;
            if (project(*s.camera, back, s.size, &column, &row)) {
                sum += (column - s.column) * (column - s.column) + (row - s.row) * (row - s.row);
                ++n;
            }
        }
        p.pixels = n ? std::sqrt(sum / n) : std::nan("");
        return p;
    };
    for (size_t i : active) {
        const ControlPoint& p = measure(used[i]);
        out.lines << QStringLiteral("%1: %2 (used)").arg(p.name, figures(p));
    }
    for (size_t k = 0; k < dropped.size(); ++k) {
        ControlPoint& p = measure(used[dropped[k]]);
        p.leftOut = true;
        out.leftOut << p.name;
        out.lines << QStringLiteral("%1: %2 (left out)").arg(p.name, figures(p));
    }
    for (const Placed& placed : checks) {
        const ControlPoint& p = measure(placed);
        out.worstCheck = std::max(out.worstCheck, p.residual);
        out.lines << QStringLiteral("%1: %2 (check)").arg(p.name, figures(p));
    }
    for (size_t k = 0; k < dropped.size(); ++k) {
        const ControlPoint& p = points[used[dropped[k]].point];
        out.lines << QStringLiteral(
                         "Point %1 left out of the fit: its residual %2 stands out from the other used "
                         "points' %3 (RMS): check its coordinates")
                         .arg(p.name, metres(p.residual), metres(droppedOthersRms[k]));
    }
    out.lines << problems << notes;
    out.message = QStringLiteral("Georeferenced from %1 control points: residual %2 (RMS)")
                      .arg(out.used)
                      .arg(metres(out.rms));
    out.message += out.checksAndLeftOut();
    if (write)
        out.message += QStringLiteral(", written to %1").arg(QFileInfo(companionFile).fileName());
    out.lines << out.message;
    return out;
}

QString ControlPointFit::Outcome::checksAndLeftOut() const
{
    QString text;
    if (worstCheck >= 0)
        text += QStringLiteral(", check points within %1").arg(metres(worstCheck));
    if (!leftOut.isEmpty())
        text += QStringLiteral(", %1 left out as gross error(s)").arg(leftOut.join(QStringLiteral(", ")));
    return text;
}
