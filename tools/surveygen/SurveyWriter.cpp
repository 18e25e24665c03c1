#include "SurveyWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>

#include <opencv2/imgcodecs.hpp>

#include "ControlTargets.h"
#include "ExifTagger.h"
#include "GeoTransform.h"
#include "SiteModel.h"
#include "SurveyRenderer.h"
#include "common/files/AtomicFile.h"

namespace
{

std::string number(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

// Gaussian noise from a generator the standard fixes (Box-Muller), so a seed
// gives the same GPS fixes everywhere.
double gaussian(std::mt19937_64& random)
{
    const double u = (double(random() >> 11) + 0.5) * 0x1p-53, v = double(random() >> 11) * 0x1p-53;
    return std::sqrt(-2 * std::log(u)) * std::cos(2 * M_PI * v);
}

} // namespace

bool SurveyWriter::write(const Settings& settings, const std::string& folder, std::ostream& out, std::string* error)
{
    namespace fs = std::filesystem;
    const fs::path root(folder), photos = root / "photos", truth = root / "truth";
    std::error_code ec;
    fs::create_directories(photos, ec);
    fs::create_directories(truth, ec);
    if (!fs::is_directory(photos) || !fs::is_directory(truth)) {
        *error = "cannot make the folders under " + folder;
        return false;
    }
    const GeoTransform geo(settings.system);
    if (!geo.valid()) {
        *error = geo.error();
        return false;
    }

    SiteModel site =
        SiteModel::generate(settings.siteWidth, settings.siteDepth, settings.gridSpacing, settings.seed);
    if (settings.day > 1)
        site.advanceTo(settings.day);
    const std::vector<SurveyCamera> cameras =
        FlightPlan::plan(settings.flight, settings.siteWidth, settings.siteDepth);
    const double groundSample = settings.flight.altitude / cameras.front().fx;
    const double targetSize = std::max(0.5, 24 * groundSample);
    const std::vector<ControlTargets::Target> targets =
        ControlTargets::place(site, settings.targets, targetSize, settings.seed);
    out << "Site " << settings.siteWidth << " x " << settings.siteDepth << " m, " << cameras.size()
        << " photos of " << settings.flight.width << " x " << settings.flight.height << " at about "
        << groundSample * 100 << " cm per pixel, " << targets.size() << " control targets" << std::endl;

    if (!cameras.front().lensIsMonotonic()) {
        *error = "the lens distortion (k1 " + number(settings.flight.k1) + ", k2 " +
                 number(settings.flight.k2) + ") folds the photo over before its corners";
        return false;
    }
    SurveyRenderer renderer(site, targets, targetSize, settings.seed);
    const SurveyRenderer::Buffer buffer = SurveyRenderer::bufferFor(cameras.front());
    if (!renderer.open(buffer.width, buffer.height, error))
        return false;

    std::mt19937_64 random(settings.seed * 31337 + 5);
    std::vector<ExifTagger::Tags> tags;
    std::string cameraLines =
        "# surveygen cameras: name width height fx fy cx cy E N Z r11 r12 r13 r21 r22 r23 r31 r32 r33 k1 k2\n"
        "# Pixels run right and down from the top-left corner of the top-left pixel (its centre is 0.5, "
        "0.5).\n"
        "# R maps survey axes (east, north, up) to camera axes (right, down, forward): x = R (X - C).\n"
        "# k1 k2: radial distortion as COLMAP's RADIAL model, (u, v) (1 + k1 r^2 + k2 r^4) with (u, v) = (x, "
        "y) / z.\n";
    std::string observationLines = "# surveygen observations: photo target x y (pixels, as in cameras.txt, "
                                   "where the lens puts the centre)\n";
    std::string gcpLines = settings.system + "\n";
    const double E = settings.originEasting, N = settings.originNorthing, H = settings.originHeight;
    for (size_t i = 0; i < cameras.size(); ++i) {
        const SurveyCamera& c = cameras[i];
        cv::Mat photo;
        if (!renderer.render(c, &photo, error))
            return false;
        const fs::path file = photos / c.name;
        const std::string part = AtomicFile::temporaryName(file.string(), ".jpg");
        if (!cv::imwrite(part, photo, {cv::IMWRITE_JPEG_QUALITY, 92})) {
            AtomicFile::discard(part);
            *error = "cannot write " + file.string();
            return false;
        }
        if (!AtomicFile::commit(part, file.string(), error))
            return false;
        out << "photo " << i + 1 << " of " << cameras.size() << std::endl;

        ExifTagger::Tags t;
        t.path = file.string();
        t.make = "DJI";
        t.model = "FC6310";
        t.focalMillimetres = settings.flight.focalMillimetres;
        t.focal35 = std::round(settings.flight.focalMillimetres * 36 / settings.flight.sensorWidthMillimetres);
        t.focalPlanePerMillimetre = settings.flight.width / settings.flight.sensorWidthMillimetres;
        char time[32];
        std::snprintf(time, sizeof time, "2026:06:%02d %02d:%02d:%02d", 11 + std::clamp(settings.day, 1, 19),
                      10 + int(i * 2 / 3600), int(i * 2 / 60 % 60), int(i * 2 % 60));
        t.time = time;
        t.gps = settings.gps;
        const double e = E + c.centre[0] + settings.gpsNoise * gaussian(random);
        const double n = N + c.centre[1] + settings.gpsNoise * gaussian(random);
        t.altitude = H + c.centre[2] + 1.5 * settings.gpsNoise * gaussian(random);
        // Taken off from the site's zero. The gimbal's pitch is the forward
        // axis's (-90 straight down), its yaw the heading of the photo's top
        // edge, clockwise from north.
        t.heightAboveTakeOff = c.centre[2];
        t.gimbalPitch = std::asin(std::clamp(c.rotation[2][2], -1.0, 1.0)) * 180 / M_PI;
        t.gimbalYaw = std::atan2(-c.rotation[1][0], -c.rotation[1][1]) * 180 / M_PI;
        if (!geo.toGeographic(e, n, &t.latitude, &t.longitude)) {
            *error = "PROJ cannot place " + number(e) + ", " + number(n) + " in " + settings.system;
            return false;
        }
        tags.push_back(t);

        cameraLines += c.name + ' ' + std::to_string(c.width) + ' ' + std::to_string(c.height) + ' ' +
                       number(c.fx) + ' ' + number(c.fy) + ' ' + number(c.cx) + ' ' + number(c.cy) + ' ' +
                       number(E + c.centre[0]) + ' ' + number(N + c.centre[1]) + ' ' + number(H + c.centre[2]);
        for (const auto& row : c.rotation)
            for (double v : row)
                cameraLines += ' ' + number(v);
        cameraLines += ' ' + number(c.k1) + ' ' + number(c.k2) + '\n';
        for (const ControlTargets::Observation& o : ControlTargets::seenBy(c, site, targets, 8)) {
            observationLines += c.name + ' ' + o.target + ' ' + number(o.x) + ' ' + number(o.y) + '\n';
            const auto t = std::find_if(targets.begin(), targets.end(),
                                        [&](const ControlTargets::Target& g) { return g.name == o.target; });
            gcpLines += number(E + t->x) + ' ' + number(N + t->y) + ' ' + number(H + t->z) + ' ' + number(o.x) +
                        ' ' + number(o.y) + ' ' + c.name + ' ' + o.target + '\n';
        }
    }
    if (!ExifTagger::write(tags, (photos / "exif_tags.args").string(), error))
        return false;
    out << "EXIF written" << std::endl;

    std::string siteText = site.toText();
    siteText += "system " + settings.system + "\norigin " + number(E) + ' ' + number(N) + ' ' + number(H) + '\n';
    if (settings.day > 1)
        siteText += "day " + std::to_string(settings.day) + '\n';
    std::string targetLines = "# surveygen targets: name E N Z (centre of the checker, " + number(targetSize) +
                              " m across)\n";
    for (const ControlTargets::Target& t : targets)
        targetLines += t.name + ' ' + number(E + t.x) + ' ' + number(N + t.y) + ' ' + number(H + t.z) + '\n';
    return AtomicFile::write((truth / "site.txt").string(), siteText, error) &&
           AtomicFile::write((truth / "cameras.txt").string(), cameraLines, error) &&
           AtomicFile::write((truth / "targets.txt").string(), targetLines, error) &&
           AtomicFile::write((truth / "observations.txt").string(), observationLines, error) &&
           AtomicFile::write((root / "gcp_list.txt").string(), gcpLines, error);
}
