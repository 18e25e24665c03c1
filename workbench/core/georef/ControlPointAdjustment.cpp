#include "core/georef/ControlPointAdjustment.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "common/geometry/Rotation.h"

#include "core/formats/NvmLens.h"
#include "core/formats/NvmReader.h"
#include "core/formats/NvmWriter.h"
#include "core/formats/SparseBundle.h"
#include "core/georef/ExifGps.h"
#include "common/geometry/RadialDistortion.h"
#include "core/georef/GeoReference.h"
#include "core/georef/UtmProjection.h"
#include "core/io/SaveFileCommit.h"
#include "core/products/ProductRecord.h"

namespace
{

QString fileNameOf(const QString& path)
{
    return path.mid(std::max(path.lastIndexOf(QLatin1Char('/')), path.lastIndexOf(QLatin1Char('\\'))) + 1);
}

QString metres(double value)
{
    return QString::number(value, 'f', 3) + QStringLiteral(" m");
}

QString axis(double value)
{
    return QString::number(std::abs(value) < 0.0005 ? 0.0 : value, 'f', 3);
}

using Matrix = double[3][3];

double median(std::vector<double> v)
{
    std::nth_element(v.begin(), v.begin() + long(v.size() / 2), v.end());
    return v[v.size() / 2];
}

} // namespace

osg::Vec3d ControlPointAdjustment::priorSigma(const ExifGps::Position& gps, const Settings& settings)
{
    osg::Vec3d sigma = gps.rtkFixed ? settings.rtkSigma : settings.gpsSigma;
    if (std::isfinite(gps.sigmaEast) && std::isfinite(gps.sigmaNorth)) {
        sigma.x() = gps.sigmaEast;
        sigma.y() = gps.sigmaNorth;
        sigma.z() = std::max(gps.sigmaEast, gps.sigmaNorth) * settings.gpsSigma.z() / settings.gpsSigma.x();
    }
    if (std::isfinite(gps.sigmaHeight))
        sigma.z() = gps.sigmaHeight;
    return sigma;
}

ControlPointFit::Outcome ControlPointAdjustment::run(const QString& nvmFile, QVector<ControlPoint>& points,
                                                     const ControlPointFit::ImageSize& imageSize, int epsg)
{
    return run(nvmFile, points, imageSize, epsg, Settings());
}

ControlPointFit::Outcome ControlPointAdjustment::run(const QString& nvmFile, QVector<ControlPoint>& points,
                                                     const ControlPointFit::ImageSize& imageSize, int epsg,
                                                     const Settings& settings)
{
    ControlPointFit::Outcome out;
    auto refuse = [&](const QString& why) {
        out.written = false;
        out.message = QStringLiteral("Ground control: nothing written: ") + why;
        out.lines << out.message;
        return out;
    };
    for (const osg::Vec3d* sigma : {&settings.gpsSigma, &settings.rtkSigma, &settings.controlSigma})
        for (int k = 0; k < 3; ++k)
            if (!(sigma->ptr()[k] > 0) || !std::isfinite(sigma->ptr()[k]))
                return refuse(
                    QStringLiteral("the standard deviations of the GPS positions and of the control "
                                   "points must be above zero"));

    NvmReader::VertexArrays vertices;
    NvmReader::ColourArrays colours;
    SparseBundle bundle;
    std::string folderText, readError;
    if (!NvmReader::readNvm(QFile::encodeName(nvmFile).toStdString(), vertices, colours, bundle, folderText,
                            &readError) ||
        bundle.bundleCameras.empty()) {
        out.message = QStringLiteral("Ground control: %1").arg(QString::fromStdString(readError));
        out.lines << out.message;
        return out;
    }
    const QString imageFolder = QString::fromStdString(folderText);
    const QString companionFile = GeoReference::companionFileName(nvmFile);
    if (bundle.lensDamaged)
        out.lines << QString::fromStdString(bundle.lensMessage);

    // The first guess: the similarity, measured and checked, not written.
    QVector<ControlPoint> guessed = points;
    const ControlPointFit::Outcome guess =
        ControlPointFit::run(bundle, imageFolder, companionFile, guessed, imageSize, epsg, false);
    if (!guess.fitted)
        return guess;
    out.model = guess.model;
    out.lines << QStringLiteral("First guess, the similarity: %1").arg(guess.message);
    if (size_t(out.model) >= vertices.size() || !vertices[size_t(out.model)].valid())
        return refuse(QStringLiteral("the reconstruction's model %1 has no points").arg(out.model + 1));
    SparseBundle::CameraList& list = bundle.bundleCameras[size_t(out.model)];
    osg::Vec3Array& modelPoints = *vertices[size_t(out.model)];
    const SimilarityFit::Result& sim = guess.similarity;

    SurveyAdjustment adjustment;
    adjustment.options = settings.options;
    Matrix S;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c)
            S[r][c] = sim.rotation(r, c);

    // The cameras through the similarity; photos of one size, focal length
    // and distortion share one calibration (the mapper's shared camera).
    std::map<std::tuple<double, double, double, int, int>, int> calibrationOf;
    std::vector<QSize> sizes(list.size());
    QHash<QString, int> cameraByName;
    for (size_t i = 0; i < list.size(); ++i) {
        const BundleCamera& bc = *list[i];
        const QString name = QString::fromStdString(bc.name);
        const QSize size = imageSize ? imageSize(imageFolder + name) : QSize();
        if (size.isEmpty())
            return refuse(QStringLiteral("the size of photo %1 cannot be read").arg(imageFolder + name));
        sizes[i] = size;
        cameraByName.insert(fileNameOf(name).toLower(), int(i));
        // An earlier adjustment's lens, where its companion gave one, is the
        // better start than the NVM's single term.
        const BundleCamera::Lens& lens = bc.lens;
        const auto key = lens.known
                             ? std::make_tuple(lens.fx, lens.k1, lens.k2, size.width(), size.height())
                             : std::make_tuple(bc.focalLength, bc.radial, 0.0, size.width(), size.height());
        auto found = calibrationOf.find(key);
        if (found == calibrationOf.end()) {
            SurveyAdjustment::Calibration k;
            k.focal = bc.focalLength;
            if (lens.known) {
                k.focal = 0.5 * (lens.fx + lens.fy);
                k.cx = lens.cx + 0.5 - 0.5 * lens.width;
                k.cy = lens.cy + 0.5 - 0.5 * lens.height;
                k.k1 = lens.k1;
                k.k2 = lens.k2;
            } else
                RadialDistortion::projectionFromNvm(
                    bc.radial, RadialDistortion::maxRadius(size.width(), size.height(), bc.focalLength), k.k1, k.k2);
            adjustment.calibrations.push_back(k);
            found = calibrationOf.emplace(key, int(adjustment.calibrations.size() - 1)).first;
        }
        SurveyAdjustment::Camera c;
        c.name = name;
        c.calibration = found->second;
        const Rotation::Matrix R =
            Rotation::matrixOf({bc.rotation[3], bc.rotation[0], bc.rotation[1], bc.rotation[2]});
        // World into camera after the similarity: R S^T (the scale cancels
        // in the projection).
        Rotation::Matrix moved;
        for (size_t r = 0; r < 3; ++r)
            for (size_t col = 0; col < 3; ++col)
                moved[3 * r + col] = R[3 * r] * S[col][0] + R[3 * r + 1] * S[col][1] + R[3 * r + 2] * S[col][2];
        const Rotation::Quaternion q = Rotation::quaternionOf(moved);
        std::copy(q.begin(), q.end(), c.rotation);
        c.centre = sim.apply(bc.centre);
        adjustment.cameras.push_back(c);
    }

    // The photos' GPS positions as priors, in the points' reference system.
    if (epsg != 0) {
        const UtmProjection grid(epsg);
        std::vector<double> heightGap, heightSigmas;
        for (size_t i = 0; i < list.size(); ++i) {
            ExifGps::Position gps;
            QString ignored;
            double east = 0, north = 0;
            if (!ExifGps::readFile(ExifGps::xmlPathOf(imageFolder + QString::fromStdString(list[i]->name)),
                                   &gps, &ignored) ||
                !gps.hasAltitude || !grid.project(gps.latitude, gps.longitude, &east, &north))
                continue;
            SurveyAdjustment::Camera& c = adjustment.cameras[i];
            c.hasPrior = true;
            c.prior = osg::Vec3d(east, north, gps.altitude);
            c.priorSigma = priorSigma(gps, settings);
            heightGap.push_back(gps.altitude - c.centre.z());
            heightSigmas.push_back(heightGap.back() / c.priorSigma.z());
        }
        // Heights of another datum (ellipsoidal against sea level, a drone's
        // barometric take-off height) are off by the same tens of metres for
        // every photo: they cannot hold the cameras' heights, their positions
        // across still can.
        if (!heightGap.empty() && !(std::abs(median(heightSigmas)) <= 3)) {
            for (SurveyAdjustment::Camera& c : adjustment.cameras)
                c.priorHeight = false;
            out.lines << QStringLiteral(
                             "The photos' GPS heights lie %1 from the control points' heights (median "
                             "of %2 photos): another height datum; only their positions across hold "
                             "the cameras")
                             .arg(metres(median(heightGap)))
                             .arg(heightGap.size());
        }
    }

    // The reconstruction's points and what the photos measured of them.
    for (size_t p = 0; p < modelPoints.size(); ++p) {
        SurveyAdjustment::Point point;
        point.position = sim.apply(osg::Vec3d(modelPoints[p]));
        adjustment.points.push_back(point);
    }
    for (size_t i = 0; i < list.size(); ++i)
        for (const auto& v : list[i]->views) {
            if (!(v->pointIndex >= 0) || v->pointIndex >= double(modelPoints.size()))
                return refuse(QStringLiteral("photo %1 measures a point the reconstruction does not hold")
                                  .arg(QString::fromStdString(list[i]->name)));
            adjustment.observations.push_back({int(i), int(v->pointIndex), v->x, v->y});
        }
    const size_t tiePoints = adjustment.points.size();

    // The used control points (not the check points), at their surveyed
    // places. Those the similarity left out take part too: a model bent by
    // its lens misses some points by decimetres that the adjustment, which
    // unbends it, fits; a point that is truly wrong shows after it.
    std::vector<int> controlOf(size_t(points.size()), -1);
    for (int k = 0; k < points.size(); ++k) {
        const ControlPoint& cp = guessed[k];
        if (cp.check || !cp.hasFit())
            continue;
        SurveyAdjustment::Point point;
        point.position = cp.survey;
        point.control = true;
        point.name = cp.name;
        point.survey = cp.survey;
        point.sigma = cp.sigma(settings.controlSigma);
        const int index = int(adjustment.points.size());
        adjustment.points.push_back(point);
        controlOf[size_t(k)] = index;
        for (const ControlObservation& o : cp.observations) {
            const auto found = cameraByName.constFind(fileNameOf(o.image).toLower());
            if (found == cameraByName.constEnd())
                continue;
            const QSize size = sizes[size_t(*found)];
            adjustment.observations.push_back(
                {*found, index, o.column - 0.5 * size.width(), o.row - 0.5 * size.height()});
        }
    }

    SurveyAdjustment::Result result = adjustment.run();
    if (!result.accepted)
        return refuse(result.message);
    // A control point whose photos show it away from its surveyed place (a
    // wrong survey, another target marked) is held there by its small
    // standard deviation, so it shows in pixels rather than metres: the
    // worst beyond eight of the photos' standard deviations (and a pixel)
    // is left out and the block solved again, while two others remain.
    for (;;) {
        int worst = -1, held = 0;
        double worstPixels = 0;
        for (int k = 0; k < points.size(); ++k) {
            if (controlOf[size_t(k)] < 0)
                continue;
            ++held;
            const double pixels = adjustment.pixelsOf(controlOf[size_t(k)], points[k].survey);
            if (!(pixels <= worstPixels)) {
                worst = k;
                worstPixels = pixels;
            }
        }
        const double limit = std::max(1.0, 8 * result.pixelSigma);
        if (worst < 0 || held <= 2 || worstPixels <= limit)
            break;
        const int index = controlOf[size_t(worst)];
        adjustment.points[size_t(index)].control = false;
        adjustment.observations.erase(
            std::remove_if(adjustment.observations.begin(), adjustment.observations.end(),
                           [&](const SurveyAdjustment::Observation& o) { return o.point == index; }),
            adjustment.observations.end());
        controlOf[size_t(worst)] = -1;
        out.leftOut << points[worst].name;
        out.lines << QStringLiteral("%1: its photos show it %2 px from its surveyed place, more than %3 px: "
                                    "left out as a gross error, the block adjusted again")
                         .arg(points[worst].name)
                         .arg(worstPixels, 0, 'f', 1)
                         .arg(limit, 0, 'f', 1);
        result = adjustment.run();
        if (!result.accepted)
            return refuse(result.message);
    }
    const osg::Vec3d origin = adjustment.origin;
    for (size_t i = 0; i < adjustment.calibrations.size(); ++i) {
        const SurveyAdjustment::Calibration& k = adjustment.calibrations[i];
        CameraCalibration c;
        for (size_t j = 0; j < list.size(); ++j)
            if (adjustment.cameras[j].calibration == int(i)) {
                c.width = sizes[j].width();
                c.height = sizes[j].height();
                ++c.photos;
            }
        // The adjustment counts pixels from the photo's centre.
        c.focal = k.focal;
        c.cx = 0.5 * c.width + k.cx;
        c.cy = 0.5 * c.height + k.cy;
        c.k1 = k.k1;
        c.k2 = k.k2;
        out.calibrations.append(c);
    }

    // The adjusted model back into the reconstruction, in the local frame;
    // the whole lens, which the NVM's one term only approximates, beside it.
    std::vector<NvmLens::Camera> lenses;
    for (size_t i = 0; i < list.size(); ++i) {
        BundleCamera& bc = *list[i];
        const SurveyAdjustment::Camera& c = adjustment.cameras[i];
        const SurveyAdjustment::Calibration& k = adjustment.calibrations[size_t(c.calibration)];
        bc.centre = c.centre - origin;
        bc.rotation[0] = float(c.rotation[1]);
        bc.rotation[1] = float(c.rotation[2]);
        bc.rotation[2] = float(c.rotation[3]);
        bc.rotation[3] = float(c.rotation[0]);
        bc.focalLength = k.focal;
        bc.radial = RadialDistortion::nvmFromProjection(
            k.k1, k.k2, RadialDistortion::maxRadius(sizes[i].width(), sizes[i].height(), k.focal));
        // The lens file counts pixels from the top-left pixel's centre, the
        // adjustment from the photo's centre.
        NvmLens::Camera l;
        l.width = sizes[i].width();
        l.height = sizes[i].height();
        l.fx = l.fy = k.focal;
        l.cx = 0.5 * l.width + k.cx - 0.5;
        l.cy = 0.5 * l.height + k.cy - 0.5;
        l.k1 = k.k1;
        l.k2 = k.k2;
        l.image = bc.name;
        lenses.push_back(l);
        bc.lens.known = true;
        bc.lens.width = l.width;
        bc.lens.height = l.height;
        bc.lens.fx = bc.lens.fy = l.fx;
        bc.lens.cx = l.cx;
        bc.lens.cy = l.cy;
        bc.lens.k1 = l.k1;
        bc.lens.k2 = l.k2;
    }
    for (size_t p = 0; p < tiePoints; ++p)
        modelPoints[p] = osg::Vec3f(adjustment.points[p].position - origin);
    modelPoints.dirty();

    const QByteArray nvmText = NvmWriter::text(bundle, vertices, colours);
    GeoReference geo; // identity rotation, unit scale: the origin carries the file into survey coordinates
    geo.translation = origin;
    geo.epsg = epsg;
    QString why;
    const QByteArray companionText = geo.text(&why);
    if (nvmText.isEmpty() || companionText.isEmpty())
        return refuse(nvmText.isEmpty() ? QStringLiteral("the adjusted reconstruction cannot be written")
                                        : why);

    const QString lensFile =
        QString::fromStdString(NvmLens::pathFor(QFile::encodeName(nvmFile).toStdString()));
    const QByteArray lensText = NvmLens::text(lenses);

    // All three files or none: each is written beside its old self first.
    QSaveFile nvmOut(nvmFile), companionOut(companionFile), lensOut(lensFile);
    for (QSaveFile* file : {&nvmOut, &companionOut, &lensOut})
        if (!file->open(QIODevice::WriteOnly)) {
            const QString error =
                QStringLiteral("cannot write %1: %2").arg(file->fileName(), file->errorString());
            for (QSaveFile* other : {&nvmOut, &companionOut, &lensOut})
                if (other->isOpen())
                    other->cancelWriting();
            return refuse(error);
        }
    if (nvmOut.write(nvmText) != nvmText.size() ||
        companionOut.write(companionText) != companionText.size() ||
        lensOut.write(lensText) != lensText.size()) {
        nvmOut.cancelWriting();
        companionOut.cancelWriting();
        lensOut.cancelWriting();
        return refuse(QStringLiteral("cannot write %1, %2 and %3").arg(nvmFile, companionFile, lensFile));
    }
    // The lens first: with the new NVM alone it would take the old lens.
    if (!SaveFileCommit::commit(lensOut, &why)) {
        nvmOut.cancelWriting();
        companionOut.cancelWriting();
        return refuse(why);
    }
    if (!SaveFileCommit::commit(nvmOut, &why)) {
        companionOut.cancelWriting();
        // The old NVM then keeps its own term rather than a lens not made for it.
        QFile::remove(lensFile);
        return refuse(why);
    }
    if (!SaveFileCommit::commit(companionOut, &why))
        return refuse(why + QStringLiteral(" (the adjusted %1 was written: fit again)").arg(nvmFile));
    out.written = true;
    const QString folder = QFileInfo(nvmFile).absolutePath();
    ProductRecord::make(folder, QLatin1String(ProductRecord::georeference), {nvmFile},
                        {companionFile, lensFile}, QStringLiteral("control points"))
        .write(folder);

    // Each point against its survey: a control point where the adjustment
    // put it, a check point (or one left out) where the adjusted photos
    // place it; pixels where its surveyed place lands in its photos.
    for (ControlPoint& p : points)
        p.clearFit();
    double sumSquares = 0;
    for (int k = 0; k < points.size(); ++k) {
        ControlPoint& p = points[k];
        std::vector<SurveyAdjustment::Observation> pixels;
        std::vector<std::pair<size_t, const ControlObservation*>> seen;
        for (const ControlObservation& o : p.observations) {
            const auto found = cameraByName.constFind(fileNameOf(o.image).toLower());
            if (found == cameraByName.constEnd())
                continue;
            const QSize size = sizes[size_t(*found)];
            pixels.push_back({*found, 0, o.column - 0.5 * size.width(), o.row - 0.5 * size.height()});
            seen.push_back({size_t(*found), &o});
        }
        // Placed through the adjusted calibration itself: the NVM file's
        // single distortion term only approximates its two, by pixels at the
        // photos' edges, which would show in the check points as a dome.
        osg::Vec3d local;
        QString reason;
        if (controlOf[size_t(k)] >= 0)
            local = adjustment.points[size_t(controlOf[size_t(k)])].position - origin;
        else if (adjustment.place(pixels, &local, &reason))
            local -= origin;
        else {
            out.lines << QStringLiteral("%1: not placed by the adjusted photos: %2").arg(p.name, reason);
            continue;
        }
        p.offset = local + origin - p.survey;
        p.residual = p.offset.length();
        double sum = 0;
        int n = 0;
        for (const auto& [camera, o] : seen) {
            double column = 0, row = 0;
            if (ControlPointFit::project(*list[camera], p.survey - origin, sizes[camera], &column, &row)) {
                sum += (column - o->column) * (column - o->column) + (row - o->row) * (row - o->row);
                ++n;
            }
        }
        p.pixels = n ? std::sqrt(sum / n) : std::nan("");
        QString role = QStringLiteral("used");
        if (p.check) {
            role = QStringLiteral("check");
            out.worstCheck = std::max(out.worstCheck, p.residual);
        } else if (controlOf[size_t(k)] < 0) {
            role = QStringLiteral("left out");
            p.leftOut = true;
        } else {
            sumSquares += p.residual * p.residual;
            ++out.used;
        }
        out.lines << QStringLiteral("%1: residual %2 (dX %3, dY %4, dZ %5), %6 px (%7)")
                         .arg(p.name, metres(p.residual), axis(p.offset.x()), axis(p.offset.y()),
                              axis(p.offset.z()))
                         .arg(p.pixels, 0, 'f', 2)
                         .arg(role);
    }
    out.rms = out.used ? std::sqrt(sumSquares / out.used) : 0;
    out.lines << result.lines;
    const int priors = int(std::count_if(adjustment.cameras.begin(), adjustment.cameras.end(),
                                         [](const SurveyAdjustment::Camera& c) { return c.hasPrior; }));
    out.message = QStringLiteral("Adjusted to %1 control points and the GPS of %2 photos: residual %3 (RMS)")
                      .arg(out.used)
                      .arg(priors)
                      .arg(metres(out.rms));
    out.message += out.checksAndLeftOut();
    out.message += QStringLiteral(", reprojection %1 px, written to %2 and %3 (origin %4 %5 %6)")
                       .arg(result.rmsPixels, 0, 'f', 2)
                       .arg(QFileInfo(nvmFile).fileName(), QFileInfo(companionFile).fileName())
                       .arg(origin.x(), 0, 'f', 0)
                       .arg(origin.y(), 0, 'f', 0)
                       .arg(origin.z(), 0, 'f', 0);
    out.lines << out.message;
    return out;
}
