// How good is a survey's georeference? The check points' errors on a
// synthetic survey with known truth (surveygen, nadir photos through a
// distorting lens, so a self-calibrated block bends into a dome), in one run:
//   (a) the photos' GPS alone (the georeference "&Run Sparse" writes),
//   (b) the similarity to 5 control points (ControlPointFit),
//   (c) the adjustment with the GPS and 5 control points (ControlPointAdjustment,
//       what "Fit to Control Points" runs),
//   (d) COLMAP's model_aligner on the same reconstruction and the same GPS
//       (robust alignment), as its users georeference a model: it takes
//       camera positions only, so control points cannot enter it,
//   (e) the adjustment again, on the targets the automatic marking found
//       from the GPS georeference and accepted whole ("Find Targets",
//       "Accept All"), with its share of the true observations found.
// The other 5 targets are check points, observed where the truth says the
// photos show them, as a user marking them would. Figures: RMSE X, Y, Z,
// horizontal and vertical, in metres and in ground samples, CE90 and LE90;
// the camera centres against the truth; the time of each fit.
//
//   accuracy_bench <work folder> [--photos N] [--size WxH] [--k1 K] [--k2 K] [--gps-noise M] [--no-colmap]
//
// Defaults: 60 photos of 2000 x 1500, k1 -0.10, k2 0.05 (a lens the mapper's one distortion
// term cannot hold, so the block bends), GPS noise 3 m. Needs an X
// display for surveygen (xvfb-run), QT_QPA_PLATFORM=offscreen and COLMAP on PATH.
#include <QApplication>
#include <QImageReader>

#include <algorithm>
#include <set>

#include "ColmapModel.h"
#include "CameraIntrinsics.h"
#include "SurveyBenchRun.h"
#include "core/formats/NvmReader.h"
#include "core/formats/SparseBundle.h"
#include "core/georef/AccuracyStatistics.h"
#include "core/georef/ControlPointAdjustment.h"
#include "core/georef/ControlPointFit.h"
#include "core/georef/ExifGps.h"
#include "core/georef/GcpImport.h"
#include "core/georef/GeoReference.h"
#include "core/georef/TargetSearch.h"
#include "core/georef/UtmProjection.h"

using namespace surveybench;

namespace
{

struct Options {
    QString work;
    int photos = 60;
    QString size = "2000x1500";
    QString k1 = "-0.10", k2 = "0.05";
    QString gpsNoise = "3";
    bool withColmap = true;
    bool reuseSparse = false; // the fits again on the last run's reconstruction
    bool adjustmentOnly = false; // (c) alone: to time the adjustment
};

struct Figures {
    QString method;
    bool ok = false;
    QString failure;
    AccuracyStatistics check;
    double cameraRms = -1; // metres, registered centres against the truth
    double seconds = -1;
};

bool parse(const QStringList& args, Options& o)
{
    for (int i = 1; i < args.size(); ++i) {
        const QString a = args[i], v = i + 1 < args.size() ? args[i + 1] : QString();
        bool ok = true;
        if (a == "--photos") {
            o.photos = v.toInt(&ok);
            ok = ok && o.photos >= 12;
            ++i;
        } else if (a == "--size") {
            ok = QRegularExpression("^\\d+x\\d+$").match(v).hasMatch();
            o.size = v;
            ++i;
        } else if (a == "--k1" || a == "--k2" || a == "--gps-noise") {
            v.toDouble(&ok);
            (a == "--k1" ? o.k1 : a == "--k2" ? o.k2 : o.gpsNoise) = v;
            ++i;
        } else if (a == "--no-colmap") {
            o.withColmap = false;
        } else if (a == "--reuse-sparse") {
            o.reuseSparse = true;
        } else if (a == "--adjustment-only") {
            o.adjustmentOnly = true;
        } else if (o.work.isEmpty() && !a.startsWith("--")) {
            o.work = QDir(a).absolutePath();
        } else {
            ok = false;
        }
        if (!ok) {
            std::fprintf(stderr, "accuracy_bench: bad option %s %s\n", qPrintable(a), qPrintable(v));
            return false;
        }
    }
    return !o.work.isEmpty();
}

QString fileNameOf(const QString& path)
{
    return QFileInfo(path).fileName().toLower();
}

QSize imageSize(const QString& path)
{
    return QImageReader(path).size();
}

// The control file a user would make from the survey's truth: every target's
// survey coordinates with where the registered photos show it.
bool writeControlFile(const QString& survey, const std::set<QString>& registered, const QString& file)
{
    std::map<QString, QStringList> targets;
    for (const QStringList& f : truthLines(survey + "/truth/targets.txt"))
        if (f.size() >= 4)
            targets[f[0]] = f.mid(1, 3);
    QFile gcp(file);
    if (!gcp.open(QIODevice::WriteOnly | QIODevice::Text))
        return false;
    QFile header(survey + "/gcp_list.txt");
    header.open(QIODevice::ReadOnly | QIODevice::Text);
    gcp.write(header.readLine());
    for (const QStringList& o : truthLines(survey + "/truth/observations.txt"))
        if (o.size() >= 4 && registered.count(o[0].toLower()) && targets.count(o[1]))
            gcp.write(QStringList({targets.at(o[1]).join(' '), o[2], o[3], o[0], o[1]}).join(' ').toUtf8() + '\n');
    return true;
}

AccuracyStatistics checkStatistics(const QVector<ControlPoint>& points)
{
    std::vector<osg::Vec3d> residuals;
    for (const ControlPoint& p : points)
        if (p.check && p.hasFit())
            residuals.push_back(p.offset);
    return AccuracyStatistics::of(residuals);
}

// The registered cameras' centres, placed by place, against the truth (RMS, metres).
double cameraError(const SparseBundle::CameraList& cameras, const std::map<std::string, TrueCamera>& truth,
                   const std::function<osg::Vec3d(const osg::Vec3d&)>& place)
{
    double sum = 0;
    int n = 0;
    for (const auto& c : cameras) {
        const auto t = truth.find(QFileInfo(QString::fromStdString(c->name)).fileName().toStdString());
        if (t == truth.end())
            continue;
        const osg::Vec3d p = place(c->centre);
        const osg::Vec3d d = p - osg::Vec3d(t->second.centre[0], t->second.centre[1], t->second.centre[2]);
        sum += d.length2();
        ++n;
    }
    return n ? std::sqrt(sum / n) : -1;
}

// (a): where the georeference of the sparse run puts the check points.
Figures gpsOnly(const SparseBundle& bundle, const QString& folder, const QString& companion,
                QVector<ControlPoint> points, const std::map<std::string, TrueCamera>& truth)
{
    Figures f;
    f.method = "(a) GPS only";
    GeoReference geo;
    QString error;
    if (!GeoReference::read(companion, geo, &error)) {
        f.failure = error;
        return f;
    }
    const SparseBundle::CameraList& cameras = bundle.bundleCameras.front();
    std::map<QString, const BundleCamera*> byName;
    for (const auto& c : cameras)
        byName[fileNameOf(QString::fromStdString(c->name))] = c.get();
    for (ControlPoint& p : points) {
        p.clearFit();
        if (!p.check)
            continue;
        std::vector<ControlPointFit::Ray> rays;
        for (const ControlObservation& o : p.observations) {
            const auto c = byName.find(fileNameOf(o.image));
            if (c != byName.end())
                rays.push_back(ControlPointFit::rayOf(*c->second, o.column, o.row,
                                                      imageSize(folder + QString::fromStdString(c->second->name))));
        }
        osg::Vec3d x;
        if (!ControlPointFit::triangulate(rays, &x, nullptr, &error))
            continue;
        p.offset = geo.apply(x) - p.survey;
        p.residual = p.offset.length();
    }
    f.check = checkStatistics(points);
    f.cameraRms = cameraError(cameras, truth, [&](const osg::Vec3d& c) { return geo.apply(c); });
    f.ok = f.check.count > 0;
    return f;
}

// The workbench's defaults; the solver's cost every 25 iterations on the way.
ControlPointAdjustment::Settings adjustmentSettings()
{
    ControlPointAdjustment::Settings settings;
    settings.options.progress = [](int iteration, double cost) {
        if (iteration % 25 == 0) {
            std::printf("  iteration %d, cost %.9g\n", iteration, cost);
            std::fflush(stdout);
        }
        return true;
    };
    return settings;
}

// (b) and (c): a fit of the workbench; the reconstruction read again after it
// for the cameras (the adjustment writes it anew).
Figures fit(const QString& method, const QString& nvm, QVector<ControlPoint> points, int epsg, bool adjust,
            const std::map<std::string, TrueCamera>& truth)
{
    Figures f;
    f.method = method;
    NvmReader::VertexArrays vertices;
    NvmReader::ColourArrays colours;
    SparseBundle bundle;
    std::string folder, message;
    if (!NvmReader::readNvm(QFile::encodeName(nvm).toStdString(), vertices, colours, bundle, folder, &message)) {
        f.failure = QString::fromStdString(message);
        return f;
    }
    QElapsedTimer clock;
    clock.start();
    const ControlPointFit::Outcome out =
        adjust ? ControlPointAdjustment::run(nvm, points, imageSize, epsg, adjustmentSettings())
               : ControlPointFit::run(bundle, QString::fromStdString(folder), GeoReference::companionFileName(nvm),
                                      points, imageSize, epsg, false);
    f.seconds = clock.nsecsElapsed() * 1e-9;
    if (!out.fitted && !out.written) {
        f.failure = out.message;
        return f;
    }
    f.check = checkStatistics(points);
    std::printf("\n%s: %s\n", qPrintable(method), qPrintable(out.message));
    for (const QString& line : out.lines)
        if (line.startsWith("Adjusted ") && line.contains(" iterations "))
            std::printf("  %s\n", qPrintable(line));
    for (const ControlPoint& p : points)
        if (p.hasFit())
            std::printf("  %-8s %s %2d photos  dX %8.4f  dY %8.4f  dZ %8.4f  %s\n", qPrintable(p.name),
                        p.check ? "check  " : "control", int(p.observations.size()), p.offset.x(), p.offset.y(),
                        p.offset.z(), p.leftOut ? "left out" : "");
    std::fflush(stdout);
    if (adjust) {
        bundle = SparseBundle();
        GeoReference geo;
        QString error;
        if (NvmReader::readNvm(QFile::encodeName(nvm).toStdString(), vertices, colours, bundle, folder, &message) &&
            GeoReference::read(GeoReference::companionFileName(nvm), geo, &error))
            f.cameraRms = cameraError(bundle.bundleCameras.front(), truth,
                                      [&](const osg::Vec3d& c) { return geo.apply(c); });
    } else {
        const SimilarityFit::Result& s = out.similarity;
        f.cameraRms = cameraError(bundle.bundleCameras.front(), truth, [&](const osg::Vec3d& c) { return s.apply(c); });
    }
    f.ok = f.check.count > 0;
    return f;
}

// COLMAP's world-to-camera rotation of a unit quaternion (w, x, y, z).
std::array<std::array<double, 3>, 3> rotationOf(const std::array<double, 4>& q)
{
    const double n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
    const double w = q[0] / n, x = q[1] / n, y = q[2] / n, z = q[3] / n;
    return {{{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
             {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
             {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}}};
}

// (d): COLMAP's model_aligner moves the mapper's model onto the photos' GPS
// (the same fixes, projected as the workbench projects them); the check
// points are triangulated through the aligned model's own cameras.
Figures colmapAligner(const QString& site, const QString& work, const QVector<ControlPoint>& points, int epsg,
                      double gpsNoise, const std::map<std::string, TrueCamera>& truth)
{
    Figures f;
    f.method = "(d) COLMAP model_aligner, GPS";
    const QString model = site + "/sparse_colmap/model/0";
    UtmProjection utm(epsg);
    if (!QDir(model).exists() || !utm.valid()) {
        f.failure = "no mapper model in " + model + " or no projection: " + utm.error();
        return f;
    }
    // Positions less an origin in whole metres, so that nothing rests on
    // COLMAP's handling of large coordinates.
    QFile ref(work + "/ref_images.txt");
    ref.open(QIODevice::WriteOnly | QIODevice::Text);
    bool haveOrigin = false;
    osg::Vec3d origin;
    for (const QString& photo : photosOf(site)) {
        ExifGps::Position gps;
        QString error;
        double e = 0, n = 0;
        if (!ExifGps::readFile(ExifGps::xmlPathOf(site + '/' + photo), &gps, &error) ||
            !utm.project(gps.latitude, gps.longitude, &e, &n))
            continue;
        if (!haveOrigin)
            origin = osg::Vec3d(std::round(e), std::round(n), std::round(gps.altitude));
        haveOrigin = true;
        ref.write(QString("%1 %2 %3 %4\n")
                      .arg(photo)
                      .arg(e - origin.x(), 0, 'f', 4)
                      .arg(n - origin.y(), 0, 'f', 4)
                      .arg(gps.altitude - origin.z(), 0, 'f', 4)
                      .toUtf8());
    }
    ref.close();
    const QString aligned = work + "/aligned", text = work + "/aligned_text", log = work + "/colmap_aligner.log";
    QDir().mkpath(aligned);
    QDir().mkpath(text);
    QElapsedTimer clock;
    clock.start();
    if (!colmap({"model_aligner", "--input_path", model, "--output_path", aligned, "--ref_images_path",
                 ref.fileName(), "--ref_is_gps", "0", "--alignment_type", "custom", "--robust_alignment", "1",
                 "--robust_alignment_max_error", QString::number(3 * gpsNoise)},
                log)) {
        f.failure = "model_aligner failed; see " + log;
        return f;
    }
    f.seconds = clock.nsecsElapsed() * 1e-9;
    ColmapModel m;
    std::string error;
    if (!colmap({"model_converter", "--input_path", aligned, "--output_path", text, "--output_type", "TXT"}, log) ||
        !m.readFolder(text.toStdString(), &error)) {
        f.failure = "cannot read the aligned model: " + QString::fromStdString(error);
        return f;
    }
    struct View {
        CameraIntrinsics::Camera intrinsics;
        std::array<std::array<double, 3>, 3> r;
        std::array<double, 3> centre;
    };
    std::map<QString, View> views;
    double sum = 0;
    int counted = 0;
    for (const auto& [id, image] : m.images) {
        const ColmapModel::Camera& c = m.cameras.at(image.camera);
        View v;
        v.intrinsics.width = c.width;
        v.intrinsics.height = c.height;
        v.intrinsics.fx = c.fx;
        v.intrinsics.fy = c.fy;
        v.intrinsics.cx = c.cx;
        v.intrinsics.cy = c.cy;
        v.intrinsics.k1 = c.k1;
        v.intrinsics.k2 = c.k2;
        v.r = rotationOf(image.quaternion);
        v.centre = image.centre();
        const QString name = fileNameOf(QString::fromStdString(image.name));
        views[name] = v;
        const auto t = truth.find(QFileInfo(QString::fromStdString(image.name)).fileName().toStdString());
        if (t != truth.end()) {
            const osg::Vec3d d = osg::Vec3d(v.centre[0], v.centre[1], v.centre[2]) + origin -
                                 osg::Vec3d(t->second.centre[0], t->second.centre[1], t->second.centre[2]);
            sum += d.length2();
            ++counted;
        }
    }
    f.cameraRms = counted ? std::sqrt(sum / counted) : -1;
    QVector<ControlPoint> placed = points;
    for (ControlPoint& p : placed) {
        p.clearFit();
        if (!p.check)
            continue;
        std::vector<ControlPointFit::Ray> rays;
        for (const ControlObservation& o : p.observations) {
            const auto v = views.find(fileNameOf(o.image));
            double x = 0, y = 0;
            if (v == views.end() || !v->second.intrinsics.idealOf(o.column, o.row, x, y))
                continue;
            const auto& r = v->second.r; // camera = R world: the world direction is R^T (x, y, 1)
            osg::Vec3d d(r[0][0] * x + r[1][0] * y + r[2][0], r[0][1] * x + r[1][1] * y + r[2][1],
                         r[0][2] * x + r[1][2] * y + r[2][2]);
            d.normalize();
            rays.push_back({osg::Vec3d(v->second.centre[0], v->second.centre[1], v->second.centre[2]), d,
                            v->second.intrinsics.fx});
        }
        osg::Vec3d x;
        QString why;
        if (!ControlPointFit::triangulate(rays, &x, nullptr, &why))
            continue;
        p.offset = x + origin - p.survey;
        p.residual = p.offset.length();
    }
    f.check = checkStatistics(placed);
    f.ok = f.check.count > 0;
    return f;
}

// The truth's observations of the registered photos: (photo, target) -> pixel.
std::map<std::pair<QString, QString>, QPointF> trueObservations(const QString& survey,
                                                                 const std::set<QString>& registered)
{
    std::map<std::pair<QString, QString>, QPointF> seen;
    for (const QStringList& o : truthLines(survey + "/truth/observations.txt"))
        if (o.size() >= 4 && registered.count(o[0].toLower()))
            seen[{o[0].toLower(), o[1]}] = QPointF(o[2].toDouble(), o[3].toDouble());
    return seen;
}

// "Find Targets" from the GPS georeference, every candidate accepted: the
// points with the found observations only, and how they compare with the truth.
QVector<ControlPoint> markAutomatically(const QString& nvm, const QVector<ControlPoint>& points,
                                        const std::map<std::pair<QString, QString>, QPointF>& truth)
{
    QVector<ControlPoint> bare = points;
    for (ControlPoint& p : bare)
        p.observations.clear();
    QElapsedTimer clock;
    clock.start();
    const TargetSearch::Outcome out = TargetSearch::run(nvm, bare, imageSize);
    const double seconds = clock.nsecsElapsed() * 1e-9;
    int close = 0, far = 0, untrue = 0;
    std::vector<double> errors;
    for (const TargetSearch::Candidate& c : out.candidates) {
        const auto t = truth.find({c.image.toLower(), c.point});
        if (t == truth.end()) {
            ++untrue;
            std::printf("  no truth for %s in %s at %.2f %.2f\n", qPrintable(c.point), qPrintable(c.image), c.column,
                        c.row);
        } else {
            const double e = std::hypot(c.column - t->second.x(), c.row - t->second.y());
            errors.push_back(e);
            (e <= 0.5 ? close : far) += 1;
        }
        for (ControlPoint& p : bare)
            if (p.name == c.point)
                p.observations.append({c.image, c.column, c.row});
    }
    std::sort(errors.begin(), errors.end());
    std::printf("\nAutomatic marking from the GPS georeference: %d photos searched in %.2f s (%.3f s a photo); "
                "%d of %zu true observations found within 0.5 px (%.1f %%), %d farther, median error %.3f px; "
                "%d candidates where the truth lists none (at a photo's edge or partly hidden), %d refusals%s\n",
                out.photos, seconds, out.photos ? seconds / out.photos : 0.0, close, truth.size(),
                truth.empty() ? 0.0 : 100.0 * close / truth.size(), far,
                errors.empty() ? -1.0 : errors[errors.size() / 2], untrue, int(out.refusals.size()),
                out.message.isEmpty() ? "" : qPrintable(" (" + out.message + ")"));
    if (!out.correction.isEmpty())
        std::printf("  %s\n", qPrintable(out.correction));
    std::fflush(stdout);
    return bare;
}

void printFigures(const std::vector<Figures>& rows, double groundSample)
{
    std::printf("\nCheck points (5), ground sample %.4f m\n", groundSample);
    std::printf("%-34s %8s %8s %8s %8s %8s %8s %8s %8s %8s %10s %9s\n", "", "RMSE X", "RMSE Y", "RMSE Z", "horiz.",
                "vert.", "H [GSD]", "V [GSD]", "CE90", "LE90", "cameras", "time [s]");
    for (const Figures& f : rows) {
        if (!f.ok) {
            std::printf("%-34s failed: %s\n", qPrintable(f.method), qPrintable(f.failure));
            continue;
        }
        const AccuracyStatistics& s = f.check;
        std::printf("%-34s %8.4f %8.4f %8.4f %8.4f %8.4f %8.2f %8.2f %8.4f %8.4f %10.4f %9.3f\n",
                    qPrintable(f.method), s.rmseX, s.rmseY, s.rmseZ, s.rmseHorizontal, s.rmseVertical,
                    s.rmseHorizontal / groundSample, s.rmseVertical / groundSample, s.ce90, s.le90, f.cameraRms,
                    std::max(0.0, f.seconds));
    }
    std::printf("(metres unless marked; \"cameras\": RMS distance of the registered camera centres from the truth)\n");
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    Options o;
    if (!parse(app.arguments(), o)) {
        std::fprintf(stderr, "usage: accuracy_bench <work folder> [--photos N] [--size WxH] [--k1 K] [--k2 K] "
                             "[--gps-noise M] [--no-colmap] [--reuse-sparse] [--adjustment-only]\n");
        return 2;
    }
    const QString appDir = QFileInfo(QString(ORVALIS_APP_DIR)).absoluteFilePath();
    QString error;
    const QString tag = QString("nadir_k1_%1_k2_%2_gps_%3").arg(o.k1, o.k2, o.gpsNoise);
    const QString folder = survey(o.work, o.photos, o.size,
                                  {"--nadir", "--k1", o.k1, "--k2", o.k2, "--gps-noise", o.gpsNoise, "--targets", "10"},
                                  tag, &error);
    const std::map<std::string, TrueCamera> truth = readTrueCameras(folder + "/truth/cameras.txt");
    if (folder.isEmpty() || truth.empty()) {
        std::fprintf(stderr, "%s\n", qPrintable(error.isEmpty() ? "no truth in " + folder : error));
        return 1;
    }
    const QString run = QString("%1/run_%2_%3_%4").arg(o.work).arg(o.photos).arg(o.size, tag);
    const QString site = run + "/orvalis";
    const QString nvm = site + "/sparse.nvm";
    const QString companion = GeoReference::companionFileName(nvm);
    const bool reuse = o.reuseSparse && QFile::exists(run + "/sparse.nvm.before") &&
                       QFile::exists(run + "/sparse.txt.before");
    if (reuse) {
        QFile::remove(nvm);
        QFile::remove(companion);
        QFile::copy(run + "/sparse.nvm.before", nvm);
        QFile::copy(run + "/sparse.txt.before", companion);
    } else {
        QDir(run).removeRecursively();
        QDir().mkpath(run);
    }
    std::printf("\n== %d nadir photos of %s, k1 %s, k2 %s, GPS noise %s m, load average %s\n", o.photos,
                qPrintable(o.size), qPrintable(o.k1), qPrintable(o.k2), qPrintable(o.gpsNoise),
                qPrintable(loadAverage()));
    std::fflush(stdout);
    if (reuse) {
        std::printf("Run Sparse: the last run's reconstruction, GPS only, again\n");
    } else {
        ProcessTreeMemory memory(100);
        const SparseRun sparse = runSparse(folder + "/photos", appDir, site, memory);
        std::printf("Run Sparse: %.1f s, %s\n", sparse.wall,
                    sparse.ok ? "done" : qPrintable("FAILED: " + sparse.failure));
        if (!sparse.ok)
            return 1;
    }
    NvmReader::VertexArrays vertices;
    NvmReader::ColourArrays colours;
    SparseBundle bundle;
    std::string imageFolder, message;
    if (!NvmReader::readNvm(QFile::encodeName(nvm).toStdString(), vertices, colours, bundle, imageFolder, &message)) {
        std::fprintf(stderr, "%s\n", message.c_str());
        return 1;
    }
    std::set<QString> registered;
    for (const auto& c : bundle.bundleCameras.front())
        registered.insert(fileNameOf(QString::fromStdString(c->name)));
    std::printf("%zu of %d photos registered\n", registered.size(), o.photos);

    // Every second target a check point, as in the workbench's own tests.
    const QString gcpFile = run + "/gcp_from_truth.txt";
    QVector<ControlPoint> points;
    QString system;
    QStringList warnings;
    if (!writeControlFile(folder, registered, gcpFile) ||
        !GcpImport::importFile(gcpFile, nvm, &points, &system, &error, &warnings)) {
        std::fprintf(stderr, "control points: %s\n", qPrintable(error));
        return 1;
    }
    std::sort(points.begin(), points.end(), [](const ControlPoint& a, const ControlPoint& b) { return a.name < b.name; });
    for (int i = 0; i < points.size(); ++i)
        points[i].check = i % 2 == 1;
    const int epsg = UtmProjection::parseSystem(system);

    // The ground sample: the cameras' height over the targets per focal length.
    double targetHeight = 0;
    for (const ControlPoint& p : points)
        targetHeight += p.survey.z() / points.size();
    double groundSample = 0;
    for (const auto& [name, c] : truth)
        groundSample += (c.centre[2] - targetHeight) / c.fx / truth.size();

    std::vector<Figures> rows;
    if (o.adjustmentOnly) {
        rows.push_back(fit("(c) adjustment, GPS + 5 control", nvm, points, epsg, true, truth));
        printFigures(rows, groundSample);
        return rows.front().ok ? 0 : 1;
    }
    rows.push_back(gpsOnly(bundle, QString::fromStdString(imageFolder), GeoReference::companionFileName(nvm), points,
                           truth));
    rows.push_back(fit("(b) similarity, 5 control points", nvm, points, epsg, false, truth));
    if (o.withColmap)
        rows.push_back(colmapAligner(site, run, points, epsg, o.gpsNoise.toDouble(), truth));
    const QVector<ControlPoint> automatic =
        markAutomatically(nvm, points, trueObservations(folder, registered));
    // The adjustment writes the reconstruction again: (e) starts from the same files as (c).
    QFile::copy(nvm, run + "/sparse.nvm.before");
    QFile::copy(companion, run + "/sparse.txt.before");
    rows.push_back(fit("(c) adjustment, GPS + 5 control", nvm, points, epsg, true, truth));
    QFile::remove(nvm);
    QFile::remove(companion);
    QFile::copy(run + "/sparse.nvm.before", nvm);
    QFile::copy(run + "/sparse.txt.before", companion);
    rows.push_back(fit("(e) adjustment, targets found", nvm, automatic, epsg, true, truth));
    printFigures(rows, groundSample);
    return std::all_of(rows.begin(), rows.end(), [](const Figures& f) { return f.ok; }) ? 0 : 1;
}
