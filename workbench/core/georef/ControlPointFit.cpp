#include "core/georef/ControlPointFit.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>
#include <cmath>
#include <map>

#include "core/formats/NvmReader.h"
#include "core/formats/SparseBundle.h"
#include "core/georef/GeoReference.h"
#include "core/io/NumberText.h"

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
        return m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
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

} // namespace

ControlPointFit::Ray ControlPointFit::rayOf(const BundleCamera& camera, double column, double row,
                                            const QSize& imageSize)
{
    // NVM: the measurement from the photo's centre, normalised by the focal
    // length, is undistorted by m (1 + r |m|^2); the camera looks down +z
    // with y down, and the quaternion turns world into camera axes.
    const double f = camera.focalLength;
    const double mx = (column - 0.5 * imageSize.width()) / f;
    const double my = (row - 0.5 * imageSize.height()) / f;
    const double k = 1 + camera.radial * (mx * mx + my * my);
    const double u = mx * k, v = my * k;
    double x = camera.rotation[0], y = camera.rotation[1], z = camera.rotation[2], w = camera.rotation[3];
    const double n = std::sqrt(w * w + x * x + y * y + z * z);
    w /= n, x /= n, y /= n, z /= n;
    const double R[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
                            {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
                            {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}};
    Ray ray;
    ray.origin = camera.centre;
    for (int c = 0; c < 3; ++c)
        ray.direction[c] = R[0][c] * u + R[1][c] * v + R[2][c];
    ray.direction.normalize();
    ray.focal = f;
    return ray;
}

bool ControlPointFit::triangulate(const std::vector<Ray>& rays, osg::Vec3d* point, double* pixelError,
                                  QString* error)
{
    if (rays.size() < 2) {
        *error = QStringLiteral("seen in %1 photo(s) of the reconstruction, at least two are needed").arg(rays.size());
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
    NvmReader::VertexArrays vertices;
    NvmReader::ColourArrays colours;
    SparseBundle bundle;
    std::string folder, message;
    if (!NvmReader::readNvm(QFile::encodeName(nvmFile).toStdString(), vertices, colours, bundle, folder, &message) ||
        bundle.bundleCameras.empty()) {
        Outcome out;
        out.message = QStringLiteral("Ground control: %1").arg(QString::fromStdString(message));
        return out;
    }
    return run(bundle, QString::fromStdString(folder), GeoReference::companionFileName(nvmFile), points, imageSize,
               epsg);
}

ControlPointFit::Outcome ControlPointFit::run(const SparseBundle& bundle, const QString& imageFolder,
                                              const QString& companionFile, QVector<ControlPoint>& points,
                                              const ImageSize& imageSize, int epsg)
{
    Outcome out;
    auto refuse = [&](const QString& why) {
        out.message = QStringLiteral("Ground control: nothing written: ") + why;
        out.lines << out.message;
        return out;
    };

    // The photos of every model by file name (case does not count: a
    // camera's card and a drone's list disagree about it).
    QHash<QString, Located> cameras;
    for (size_t m = 0; m < bundle.bundleCameras.size(); ++m)
        for (size_t i = 0; i < bundle.bundleCameras[m].size(); ++i) {
            const QString name = fileNameOf(QString::fromStdString(bundle.bundleCameras[m][i]->name)).toLower();
            if (!cameras.contains(name))
                cameras.insert(name, {int(m), int(i)});
        }
    // The reconstruction the points belong to: the model that holds most of their photos.
    std::map<int, int> votes;
    for (const ControlPoint& p : points)
        for (const ControlObservation& o : p.observations) {
            const auto found = cameras.constFind(fileNameOf(o.image).toLower());
            if (found == cameras.constEnd())
                return refuse(QStringLiteral("point %1: photo %2 is not in the reconstruction").arg(p.name, o.image));
            ++votes[found->model];
        }
    if (votes.empty())
        return refuse(QStringLiteral("no control point has an observation in a photo"));
    out.model = std::max_element(votes.begin(), votes.end(), [](const auto& a, const auto& b) {
                    return a.second < b.second;
                })->first;
    const SparseBundle::CameraList& list = bundle.bundleCameras[size_t(out.model)];

    std::vector<osg::Vec3d> model, survey;
    std::vector<int> fitted;                    // point index of each pair
    std::vector<std::pair<int, osg::Vec3d>> checks; // check points placed by the model
    QStringList problems;
    for (int k = 0; k < points.size(); ++k) {
        const ControlPoint& p = points[k];
        std::vector<Ray> rays;
        for (const ControlObservation& o : p.observations) {
            const Located at = cameras.value(fileNameOf(o.image).toLower());
            if (at.model != out.model)
                return refuse(QStringLiteral("point %1: photo %2 belongs to another reconstruction (model %3) "
                                             "than the other points' photos (model %4)")
                                  .arg(p.name, o.image)
                                  .arg(at.model + 1)
                                  .arg(out.model + 1));
            const BundleCamera& camera = *list[size_t(at.camera)];
            const QString path = imageFolder + QString::fromStdString(camera.name);
            const QSize size = imageSize ? imageSize(path) : QSize();
            if (size.isEmpty())
                return refuse(QStringLiteral("point %1: the size of photo %2 cannot be read").arg(p.name, path));
            rays.push_back(rayOf(camera, o.column, o.row, size));
        }
        osg::Vec3d placed;
        double pixels = 0;
        QString why;
        if (!triangulate(rays, &placed, &pixels, &why)) {
            const QString line = QStringLiteral("point %1: %2").arg(p.name, why);
            if (!p.check)
                return refuse(line);
            problems << line + QStringLiteral(" (check point left out)");
            continue;
        }
        if (p.check) {
            checks.emplace_back(k, placed);
        } else {
            model.push_back(placed);
            survey.push_back(p.survey);
            fitted.push_back(k);
        }
    }
    if (model.size() < 3)
        return refuse(QStringLiteral("%1 used control point(s) placed in the photos, at least three are needed")
                          .arg(model.size()));
    SimilarityFit::Result fit;
    QString why;
    if (!SimilarityFit::fit(model, survey, &fit, &why))
        return refuse(why);

    GeoReference geo;
    geo.rotation = fit.rotation;
    geo.translation = fit.translation;
    geo.scale = osg::Vec3d(fit.scale, fit.scale, fit.scale);
    geo.epsg = epsg;
    if (!geo.write(companionFile, &why))
        return refuse(why);

    out.written = true;
    out.used = int(model.size());
    out.rms = fit.rms;
    for (QVector<ControlPoint>::iterator p = points.begin(); p != points.end(); ++p)
        p->residual = std::nan("");
    for (size_t i = 0; i < fitted.size(); ++i) {
        ControlPoint& p = points[fitted[i]];
        p.residual = (fit.apply(model[i]) - p.survey).length();
        out.lines << QStringLiteral("%1: residual %2 (used)").arg(p.name, metres(p.residual));
    }
    for (const auto& [k, placed] : checks) {
        ControlPoint& p = points[k];
        p.residual = (fit.apply(placed) - p.survey).length();
        out.worstCheck = std::max(out.worstCheck, p.residual);
        out.lines << QStringLiteral("%1: residual %2 (check)").arg(p.name, metres(p.residual));
    }
    out.lines << problems;
    out.message = QStringLiteral("Georeferenced from %1 control points: residual %2 (RMS)")
                      .arg(out.used)
                      .arg(metres(out.rms));
    if (out.worstCheck >= 0)
        out.message += QStringLiteral(", check points within %1").arg(metres(out.worstCheck));
    out.message += QStringLiteral(", written to %1").arg(QFileInfo(companionFile).fileName());
    out.lines << out.message;
    return out;
}
