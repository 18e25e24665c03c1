#include "OrthoDsmRun.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <ostream>

#include "ArchiveOptions.h"
#include "CloudReader.h"
#include "DsmBuilder.h"
#include "GeoTiffFile.h"
#include "OrthoBuilder.h"
#include "OrthoInput.h"
#include "ProgressLine.h"
#include "common/files/AtomicFile.h"
#include "core/georef/GeoReference.h"
#include "core/products/ProductRecord.h"

namespace
{

namespace fs = std::filesystem;

// The largest side either raster may have: far beyond any site, but a
// mistyped ground sample must not start a raster nobody can write.
constexpr int maxSide = 400000;
constexpr double maxCells = 4e9; // an orthophoto of 63000 x 63000

double quantile(std::vector<double>& values, double q)
{
    const size_t k = std::min(values.size() - 1, size_t(q * double(values.size() - 1) + 0.5));
    std::nth_element(values.begin(), values.begin() + long(k), values.end());
    return values[k];
}

// "progress: DSM 4 of 10 tiles" at the start, each hundredth and the end,
// as every tool counts.
std::function<void(int, int)> progressLines(std::ostream& out, const char* what)
{
    auto line = std::make_shared<std::unique_ptr<ProgressLine>>();
    return [&out, what, line](int done, int total) {
        if (!*line)
            *line = std::make_unique<ProgressLine>(&out, what, size_t(total), "tiles");
        (*line)->set(size_t(done));
    };
}

} // namespace

bool OrthoDsmRun::run(const OrthoOptions& options, std::ostream& progress, std::string& error,
                      const std::atomic<bool>* stop)
{
    OrthoInput input;
    if (!input.load(options, progress, error))
        return false;
    epsg = input.epsg;

    // The clouds in survey coordinates, stored as offsets from the first
    // point so single precision keeps millimetres.
    std::vector<DsmBuilder::Point> points;
    double origin[3] = {0, 0, 0};
    bool haveOrigin = false;
    for (const std::string& file : input.denseFiles) {
        ArchiveOptions archive;
        archive.input = file;
        CloudReader reader;
        if (!reader.open(archive, error))
            return false;
        if (reader.kind() == CloudReader::Kind::Text) {
            error = file + " is not a PLY point cloud";
            return false;
        }
        progress << "OrthoDsm: reading " << file << " (" << reader.description() << ")" << std::endl;
        std::vector<InputPoint> block;
        for (;;) {
            block.clear();
            const bool more = reader.next(block, error);
            if (!error.empty())
                return false;
            for (const InputPoint& p : block) {
                const double model[3] = {p.x, p.y, p.z};
                double s[3];
                input.toSurvey(model, s);
                if (!std::isfinite(s[0]) || !std::isfinite(s[1]) || !std::isfinite(s[2]))
                    continue;
                if (!haveOrigin) {
                    for (int k = 0; k < 3; ++k)
                        origin[k] = std::round(s[k]);
                    haveOrigin = true;
                }
                points.push_back({float(s[0] - origin[0]), float(s[1] - origin[1]), float(s[2] - origin[2])});
            }
            if (!more)
                break;
            if (stop && *stop) {
                error = "stopped";
                return false;
            }
        }
    }
    if (points.size() < 3) {
        error = "the dense cloud has no points to build an elevation model from";
        return false;
    }

    // The extent: the cloud's, without the few stray points far outside it.
    std::vector<double> xs, ys, zs;
    const size_t stride = std::max<size_t>(1, points.size() / 1000000);
    for (size_t i = 0; i < points.size(); i += stride) {
        xs.push_back(points[i].x);
        ys.push_back(points[i].y);
        zs.push_back(points[i].z);
    }
    const double x0 = quantile(xs, 0.0005), x1 = quantile(xs, 0.9995);
    const double y0 = quantile(ys, 0.0005), y1 = quantile(ys, 0.9995);
    const double groundZ = quantile(zs, 0.5) + origin[2];
    double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
    const double marginX = 0.02 * (x1 - x0), marginY = 0.02 * (y1 - y0);
    for (const auto& p : points)
        if (p.x >= x0 - marginX && p.x <= x1 + marginX && p.y >= y0 - marginY && p.y <= y1 + marginY) {
            minX = std::min(minX, double(p.x));
            maxX = std::max(maxX, double(p.x));
            minY = std::min(minY, double(p.y));
            maxY = std::max(maxY, double(p.y));
        }

    // The photos' ground sample: camera height over the ground over focal length.
    std::vector<double> samples;
    for (const OrthoPhoto& p : input.photos)
        if (p.centre[2] > groundZ)
            samples.push_back((p.centre[2] - groundZ) / p.focal);
    if (samples.empty()) {
        error = "no camera lies above the dense cloud: the georeference is upside down or wrong";
        return false;
    }
    const double gsd = options.gsd > 0 ? options.gsd : quantile(samples, 0.5);
    const double dsmGsd = options.dsmGsd > 0 ? options.dsmGsd : 2 * gsd;

    // Both grids share their top-left corner on a multiple of the larger cell.
    dsmGrid.cell = dsmGsd;
    dsmGrid.left = std::floor((minX + origin[0]) / dsmGsd) * dsmGsd;
    dsmGrid.top = std::ceil((maxY + origin[1]) / dsmGsd) * dsmGsd;
    const double spanX = maxX + origin[0] - dsmGrid.left, spanY = dsmGrid.top - (minY + origin[1]);
    orthoGrid.cell = gsd;
    orthoGrid.left = dsmGrid.left;
    orthoGrid.top = dsmGrid.top;
    const double dsmW = std::ceil(spanX / dsmGsd + 1e-9), dsmH = std::ceil(spanY / dsmGsd + 1e-9);
    const double orthoW = std::ceil(spanX / gsd + 1e-9), orthoH = std::ceil(spanY / gsd + 1e-9);
    if (!(std::max({dsmW, dsmH, orthoW, orthoH}) <= maxSide) || !(orthoW * orthoH <= maxCells)) {
        error = "a raster of " + std::to_string((long long)orthoW) + " x " +
                std::to_string((long long)orthoH) + " cells is beyond what is written: give a larger --gsd";
        return false;
    }
    dsmGrid.width = std::max(1, int(dsmW));
    dsmGrid.height = std::max(1, int(dsmH));
    orthoGrid.width = std::max(1, int(orthoW));
    orthoGrid.height = std::max(1, int(orthoH));
    progress << "OrthoDsm: " << points.size() << " points; DSM " << dsmGrid.width << " x " << dsmGrid.height
             << " cells of " << dsmGsd << " m, orthophoto " << orthoGrid.width << " x " << orthoGrid.height
             << " cells of " << gsd << " m" << std::endl;

    // Offsets from the grid's top-left corner, east and south; the heights
    // stay relative to the origin.
    const double shiftX = origin[0] - dsmGrid.left, shiftY = dsmGrid.top - origin[1];
    size_t kept = 0;
    for (const auto& p : points) {
        const double x = p.x + shiftX, y = shiftY - p.y;
        if (x >= 0 && y >= 0 && x < dsmGrid.width * dsmGsd && y < dsmGrid.height * dsmGsd)
            points[kept++] = {float(x), float(y), p.z};
    }
    points.resize(kept);

    std::error_code ec;
    const fs::path outFolder = options.outFolder();
    fs::create_directories(outFolder, ec);
    if (!fs::is_directory(outFolder, ec)) {
        error = "cannot make the folder " + outFolder.string();
        return false;
    }
    const fs::path dsmFile = outFolder / dsmName, orthoFile = outFolder / orthoName;
    // GDAL writes the rasters itself, under names that end in .tif like theirs.
    const fs::path dsmPart = AtomicFile::temporaryName(dsmFile.string(), ".tif");
    const fs::path orthoPart = AtomicFile::temporaryName(orthoFile.string(), ".tif");
    auto discard = [&] {
        AtomicFile::discard(dsmPart.string());
        AtomicFile::discard(orthoPart.string());
        return false;
    };

    DsmBuilder::Result dsm;
    {
        GeoTiffFile file;
        const double noData = DsmBuilder::noData;
        if (!file.create(dsmPart.string(), dsmGrid, 1, GDT_Float32, epsg, options.tile, false, &noData,
                         error))
            return discard();
        DsmBuilder::Settings settings;
        settings.tile = options.tile;
        settings.maxHoleCells =
            options.maxHole > 0 ? std::max(1, int(std::lround(options.maxHole / dsmGsd))) : 64;
        settings.threads = options.threads;
        settings.stop = stop;
        settings.progress = progressLines(progress, "DSM");
        if (!DsmBuilder::build(points, dsmGrid, origin[2], settings, file, dsm, error))
            return discard();
        progress << "OrthoDsm: DSM overviews" << std::endl;
        if (!file.finish("AVERAGE", error))
            return discard();
    }
    if (dsm.cells == 0) {
        error = "the dense cloud gave no surface height";
        return discard();
    }
    progress << "OrthoDsm: DSM has " << dsm.cells << " cells with a height (" << dsm.filled
             << " filled from the rims of holes)" << std::endl;

    {
        GeoTiffFile file;
        if (!file.create(orthoPart.string(), orthoGrid, 4, GDT_Byte, epsg, options.tile, true, nullptr,
                         error))
            return discard();
        OrthoBuilder::Settings settings;
        settings.tile = options.tile;
        settings.threads = options.threads;
        settings.cacheBytes = size_t(options.cacheMegabytes) << 20;
        settings.stop = stop;
        settings.progress = progressLines(progress, "orthophoto");
        OrthoBuilder::Result result;
        if (!OrthoBuilder::build(input.photos, dsmPart.string(), dsmGrid, dsm, orthoGrid, settings, file,
                                 result, error))
            return discard();
        progress << "OrthoDsm: orthophoto overviews" << std::endl;
        if (!file.finish("AVERAGE", error))
            return discard();
        progress << "OrthoDsm: orthophoto has " << result.cells << " coloured cells (" << result.occluded
                 << " taken from a second photo where the nearest to nadir was hidden)" << std::endl;
    }

    // The pair belongs together: a new DSM without its orthophoto goes again.
    if (!AtomicFile::commit(dsmPart.string(), dsmFile.string(), &error))
        return discard();
    if (!AtomicFile::commit(orthoPart.string(), orthoFile.string(), &error)) {
        fs::remove(dsmFile, ec);
        return discard();
    }
    progress << "OrthoDsm: wrote " << dsmFile.string() << " and " << orthoFile.string() << std::endl;

    // What the rasters were made from, so that a later reconstruction,
    // georeference or dense run shows them stale.
    const QString folder = QString::fromStdString(options.folder);
    const QString nvm = QString::fromStdString(options.nvmPath());
    QStringList inputs{nvm, GeoReference::companionFileName(nvm)};
    for (const std::string& cloud : input.denseFiles)
        inputs << QString::fromStdString(cloud);
    QString why;
    if (!ProductRecord::make(
             folder, QLatin1String(ProductRecord::orthophoto), inputs,
             {QString::fromStdString(dsmFile.string()), QString::fromStdString(orthoFile.string())})
             .write(folder, &why))
        progress << "OrthoDsm: the record of what the rasters were made from was not written: "
                 << why.toStdString() << std::endl;
    return true;
}
