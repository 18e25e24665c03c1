#include "core/formats/GeoRaster.h"

#include <QFile>

#include <cpl_string.h>
#include <gdal_priv.h>
#include <gdal_utils.h>
#include <gdalwarper.h>
#include <ogr_spatialref.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <memory>

namespace
{

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

struct Closer {
    void operator()(GDALDataset* d) const { GDALClose(GDALDataset::ToHandle(d)); }
};
using Dataset = std::unique_ptr<GDALDataset, Closer>;

// GDAL tells its reasons through its error state; a hostile file must not
// fill the terminal, and the reason goes into our message instead.
class QuietErrors
{
public:
    QuietErrors()
    {
        CPLPushErrorHandler(CPLQuietErrorHandler);
        CPLErrorReset();
    }
    ~QuietErrors() { CPLPopErrorHandler(); }
    QuietErrors(const QuietErrors&) = delete;
    QuietErrors& operator=(const QuietErrors&) = delete;
};

QString gdalReason()
{
    const QString text = QString::fromLocal8Bit(CPLGetLastErrorMsg());
    return text.isEmpty() ? QStringLiteral("GDAL gives no reason") : text;
}

Dataset open(const QString& path, QString* error)
{
    GDALAllRegister();
    // Only the GeoTIFF driver gets to read the bytes: a VRT, for one, would
    // read whatever other files it names.
    const char* const drivers[] = {"GTiff", nullptr};
    const QByteArray local = QFile::encodeName(path);
    Dataset ds(GDALDataset::FromHandle(
        GDALOpenEx(local.constData(), GDAL_OF_RASTER | GDAL_OF_READONLY, drivers, nullptr, nullptr)));
    if (!ds)
        fail(error, path + QStringLiteral(": not a GeoTIFF GDAL reads: ") + gdalReason());
    return ds;
}

// Survey coordinates beyond this lie on no site: such a corner could only
// come from a broken file, and it would make the scene's floats infinite.
constexpr double farthest = 1e9;

bool placeOf(GDALDataset& ds, double t[6], const QString& path, QString* error)
{
    if (ds.GetRasterXSize() < 1 || ds.GetRasterYSize() < 1)
        return fail(error, path + QStringLiteral(": a raster without cells"));
    if (ds.GetGeoTransform(t) != CE_None || t[2] != 0 || t[4] != 0)
        return fail(error,
                    path + QStringLiteral(": no north-up geotransform, so it has no place in the survey"));
    const double right = t[0] + t[1] * ds.GetRasterXSize();
    const double bottom = t[3] + t[5] * ds.GetRasterYSize();
    const bool sized = t[1] > 0 && t[5] < 0 && right > t[0] && bottom < t[3];
    const bool placed = std::fabs(t[0]) < farthest && std::fabs(t[3]) < farthest &&
                        std::fabs(right) < farthest &&
                        std::fabs(bottom) < farthest; // false for NaN and infinity as well
    if (!sized || !placed)
        return fail(error, path + QStringLiteral(": its geotransform gives cells of no size, of endless size "
                                                 "or at no place (%1, %2, %3, %4)")
                                      .arg(t[0])
                                      .arg(t[1])
                                      .arg(t[3])
                                      .arg(t[5]));
    return true;
}

bool kindOf(GDALDataset& ds, GeoRaster::Kind& kind, const QString& path, QString* error)
{
    const int bands = ds.GetRasterCount();
    bool bytes = bands >= 1 && bands <= 4;
    for (int b = 1; bytes && b <= bands; ++b)
        bytes = ds.GetRasterBand(b)->GetRasterDataType() == GDT_Byte;
    const GDALDataType first = bands > 0 ? ds.GetRasterBand(1)->GetRasterDataType() : GDT_Unknown;
    if (bands == 1 && first != GDT_Byte && first != GDT_Unknown && !GDALDataTypeIsComplex(first))
        kind = GeoRaster::Kind::Elevation;
    else if (bytes)
        kind = GeoRaster::Kind::Image;
    else
        return fail(error, path + QStringLiteral(": neither an elevation model (one band of heights) nor an "
                                                 "image (grey, grey and alpha, RGB or RGBA bytes)"));
    return true;
}

int epsgOf(const OGRSpatialReference& srs)
{
    const char* name = srs.GetAuthorityName(nullptr);
    const char* code = srs.GetAuthorityCode(nullptr);
    return name && code && QByteArray(name) == "EPSG" ? qMax(0, QByteArray(code).toInt()) : 0;
}

// A local (engineering) system names no place on Earth: like no system,
// its coordinates are taken to be the survey's own.
const OGRSpatialReference* systemOf(GDALDataset& ds)
{
    const OGRSpatialReference* srs = ds.GetSpatialRef();
    return srs && !srs->IsEmpty() && !srs->IsLocal() ? srs : nullptr;
}

bool inspectOpen(GDALDataset& ds, GeoRaster::Header& out, const QString& path, QString* error)
{
    double t[6];
    if (!placeOf(ds, t, path, error) || !kindOf(ds, out.kind, path, error))
        return false;
    const OGRSpatialReference* srs = systemOf(ds);
    out.hasSystem = srs != nullptr;
    out.projected = srs && srs->IsProjected();
    out.epsg = srs ? epsgOf(*srs) : 0;
    out.width = ds.GetRasterXSize();
    out.height = ds.GetRasterYSize();
    return true;
}

QString systemName(const OGRSpatialReference& srs)
{
    const int epsg = epsgOf(srs);
    const QString name = QString::fromUtf8(srs.GetName() ? srs.GetName() : "");
    if (epsg > 0)
        return name.isEmpty() ? QStringLiteral("EPSG:%1").arg(epsg)
                              : QStringLiteral("EPSG:%1, %2").arg(QString::number(epsg), name);
    return name.isEmpty() ? QStringLiteral("an unnamed system") : name;
}

// ---- Reading at a bounded size with bounded work -------------------------------

// The full raster or one overview: the same bands at a coarser size.
struct Level {
    std::vector<GDALRasterBand*> bands;
    int width = 0, height = 0;
};

std::vector<Level> levelsOf(GDALDataset& ds)
{
    std::vector<Level> levels(1);
    for (int b = 1; b <= ds.GetRasterCount(); ++b)
        levels[0].bands.push_back(ds.GetRasterBand(b));
    levels[0].width = ds.GetRasterXSize();
    levels[0].height = ds.GetRasterYSize();
    const int count = levels[0].bands[0]->GetOverviewCount();
    for (int i = 0; i < count; ++i) {
        Level level;
        for (GDALRasterBand* band : levels[0].bands) {
            GDALRasterBand* overview = i < band->GetOverviewCount() ? band->GetOverview(i) : nullptr;
            if (!overview || (!level.bands.empty() && (overview->GetXSize() != level.width ||
                                                       overview->GetYSize() != level.height))) {
                level.bands.clear();
                break;
            }
            level.width = overview->GetXSize();
            level.height = overview->GetYSize();
            level.bands.push_back(overview);
        }
        if (!level.bands.empty() && level.width > 0 && level.height > 0)
            levels.push_back(level);
    }
    return levels;
}

// Decoded bytes of the blocks a read goes through: every block of the level,
// or those holding the cells a nearest-neighbour read of columns x rows
// samples. In doubles, since hostile block sizes overflow any integer.
double decodedBytes(const Level& level, double columns, double rows)
{
    double total = 0;
    for (GDALRasterBand* band : level.bands) {
        int bx = 0, by = 0;
        band->GetBlockSize(&bx, &by);
        bx = std::max(1, bx);
        by = std::max(1, by);
        const double across = std::ceil(double(level.width) / bx),
                     down = std::ceil(double(level.height) / by);
        total += std::min(across, columns) * std::min(down, rows) * double(bx) * double(by) *
                 GDALGetDataTypeSizeBytes(band->GetRasterDataType());
    }
    return total;
}

bool readCells(GDALDataset& ds, const QString& path, GeoRaster& out, QString* error)
{
    const std::vector<Level> levels = levelsOf(ds);
    // The coarsest level that still has a cell for every cell to read.
    const Level* level = &levels[0];
    for (const Level& l : levels)
        if (l.width >= out.width && l.height >= out.height &&
            double(l.width) * l.height < double(level->width) * level->height)
            level = &l;
    GDALRasterBand* first = levels[0].bands[0];
    const GDALColorTable* palette = out.kind == GeoRaster::Kind::Image && levels[0].bands.size() == 1 &&
                                            first->GetColorInterpretation() == GCI_PaletteIndex
                                        ? first->GetColorTable()
                                        : nullptr;

    // GDAL decodes a block whole into memory: a file that claims blocks
    // of gigabytes is refused before one is touched.
    for (const Level& l : levels) {
        const Level one{{l.bands[0]}, l.width, l.height};
        const double block = decodedBytes(one, 1, 1);
        if (block > double(GeoRaster::blockBudget))
            return fail(error, path + QStringLiteral(": blocks of %1 MB each, too large to read here")
                                          .arg(block / 1e6, 0, 'f', 0));
    }

    GDALRasterIOExtraArg extra;
    INIT_RASTERIO_EXTRA_ARG(extra);
    // Averaging reads every cell of the level; a file without overviews that
    // is too large for that (or mostly empty: a sparse file claims any size)
    // is sampled instead, and refused when even sampling is beyond bounds.
    const double budget = double(GeoRaster::readBudget);
    if (decodedBytes(*level, INFINITY, INFINITY) <= budget)
        extra.eResampleAlg = palette ? GRIORA_NearestNeighbour : GRIORA_Average;
    else if (decodedBytes(*level, out.width, out.height) <= budget)
        extra.eResampleAlg = GRIORA_NearestNeighbour;
    else
        return fail(error, path + QStringLiteral(": %1 x %2 cells without overviews, too large to read here "
                                                 "(about %3 MB to decode); give it overviews first: "
                                                 "gdaladdo -r average \"%4\"")
                                      .arg(out.fileWidth)
                                      .arg(out.fileHeight)
                                      .arg(decodedBytes(*level, out.width, out.height) / 1e6, 0, 'f', 0)
                                      .arg(path));

    const size_t cells = size_t(out.width) * size_t(out.height);
    const auto readBand = [&](size_t band, void* data, GDALDataType type, GSpacing pixel, GSpacing line) {
        if (level->bands[band]->RasterIO(GF_Read, 0, 0, level->width, level->height, data, out.width,
                                         out.height, type, pixel, line, &extra) == CE_None)
            return true;
        return fail(error, path + QStringLiteral(": ") + gdalReason());
    };
    if (out.kind == GeoRaster::Kind::Elevation) {
        out.heights.assign(cells, 0);
        if (!readBand(0, out.heights.data(), GDT_Float32, 0, 0))
            return false;
        int hasNoData = 0;
        const double noData = first->GetNoDataValue(&hasNoData);
        // A no-data value no float holds marks no cell a float can hold.
        const bool marks = hasNoData && std::fabs(noData) <= FLT_MAX;
        const float none = marks ? float(noData) : 0.f;
        for (float& h : out.heights)
            if ((marks && h == none) || !std::isfinite(h))
                h = std::numeric_limits<float>::quiet_NaN();
        out.rgba.clear();
        return true;
    }
    out.rgba.assign(cells * 4, 255);
    const GSpacing line = GSpacing(4) * out.width;
    const size_t bands = level->bands.size();
    // Grey (or palette indices) into red, then copied; alpha last.
    for (size_t b = 0; b < bands; ++b) {
        const size_t channel = bands <= 2 ? (b == 0 ? 0 : 3) : b;
        if (!readBand(b, out.rgba.data() + channel, GDT_Byte, 4, line))
            return false;
    }
    if (bands <= 2)
        for (size_t c = 0; c < cells; ++c) {
            unsigned char* cell = &out.rgba[c * 4];
            if (palette) {
                const GDALColorEntry* entry = palette->GetColorEntry(cell[0]);
                const auto clamp = [](short v) {
                    return static_cast<unsigned char>(std::clamp<int>(v, 0, 255));
                };
                cell[0] = entry ? clamp(entry->c1) : 0;
                cell[1] = entry ? clamp(entry->c2) : 0;
                cell[2] = entry ? clamp(entry->c3) : 0;
                if (bands == 1 && entry)
                    cell[3] = clamp(entry->c4);
            } else {
                cell[1] = cell[2] = cell[0];
            }
        }
    out.heights.clear();
    return true;
}

// ---- Into the project's reference system ----------------------------------------

bool projectSystem(int epsg, OGRSpatialReference& srs, QString* error, const QString& path)
{
    if (srs.importFromEPSG(epsg) != OGRERR_NONE)
        return fail(
            error,
            path + QStringLiteral(": the project's reference system EPSG:%1 is unknown to PROJ").arg(epsg));
    if (!srs.IsProjected())
        return fail(error,
                    path + QStringLiteral(": the project's reference system EPSG:%1 is not a projected "
                                          "one, so no survey coordinates can be made in it")
                               .arg(epsg));
    srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
    return true;
}

bool sameSystem(const OGRSpatialReference& a, const OGRSpatialReference& b)
{
    const char* options[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES", "CRITERION=EQUIVALENT", nullptr};
    const int ea = epsgOf(a), eb = epsgOf(b);
    return (ea > 0 && ea == eb) || a.IsSame(&b, options);
}

// Warps what was read into the project's system, at no more than maxSide
// cells a side, with GDAL's warper: heights keep their NaNs, images gain an
// alpha band that leaves the corners outside the photo empty.
bool reproject(GeoRaster& out, const OGRSpatialReference& from, const OGRSpatialReference& to, int toEpsg,
               int maxSide, const QString& path, QString* error)
{
    const bool elevation = out.kind == GeoRaster::Kind::Elevation;
    GDALDriver* memory = GetGDALDriverManager()->GetDriverByName("MEM");
    if (!memory)
        return fail(error, path + QStringLiteral(": GDAL has no in-memory driver"));
    Dataset source(memory->Create("", out.width, out.height, elevation ? 1 : 4,
                                  elevation ? GDT_Float32 : GDT_Byte, nullptr));
    if (!source)
        return fail(error, path + QStringLiteral(": ") + gdalReason());
    double t[6] = {out.left, out.cellX, 0, out.top, 0, -out.cellY};
    source->SetGeoTransform(t);
    source->SetSpatialRef(&from);
    CPLErr written;
    if (elevation) {
        source->GetRasterBand(1)->SetNoDataValue(std::numeric_limits<double>::quiet_NaN());
        written =
            source->GetRasterBand(1)->RasterIO(GF_Write, 0, 0, out.width, out.height, out.heights.data(),
                                               out.width, out.height, GDT_Float32, 0, 0, nullptr);
    } else {
        source->GetRasterBand(4)->SetColorInterpretation(GCI_AlphaBand);
        written = source->RasterIO(GF_Write, 0, 0, out.width, out.height, out.rgba.data(), out.width,
                                   out.height, GDT_Byte, 4, nullptr, 4, GSpacing(4) * out.width, 1, nullptr);
    }
    if (written != CE_None)
        return fail(error, path + QStringLiteral(": ") + gdalReason());

    // Where the raster lands, and at about its own resolution.
    char* wkt = nullptr;
    to.exportToWkt(&wkt);
    const QByteArray targetWkt(wkt ? wkt : "");
    CPLFree(wkt);
    CPLStringList transformOptions;
    transformOptions.SetNameValue("DST_SRS", targetWkt.constData());
    void* transformer = GDALCreateGenImgProjTransformer2(GDALDataset::ToHandle(source.get()), nullptr,
                                                         transformOptions.List());
    double g[6] = {0, 0, 0, 0, 0, 0};
    int columns = 0, rows = 0;
    const bool suggested =
        transformer && GDALSuggestedWarpOutput(GDALDataset::ToHandle(source.get()), GDALGenImgProjTransform,
                                               transformer, g, &columns, &rows) == CE_None;
    if (transformer)
        GDALDestroyGenImgProjTransformer(transformer);
    const double west = g[0], north = g[3], east = g[0] + g[1] * columns, south = g[3] + g[5] * rows;
    if (!suggested || columns < 1 || rows < 1 || !(east > west) || !(north > south) ||
        !(std::fabs(west) < farthest && std::fabs(east) < farthest && std::fabs(north) < farthest &&
          std::fabs(south) < farthest))
        return fail(error,
                    path + QStringLiteral(": cannot be put into the project's reference system EPSG:%1: %2")
                               .arg(toEpsg)
                               .arg(gdalReason()));
    const double shrink = std::max(1.0, double(std::max(columns, rows)) / std::max(1, maxSide));
    const int width = std::max(1, int(std::lround(columns / shrink)));
    const int height = std::max(1, int(std::lround(rows / shrink)));

    const auto number = [](double v) { return QByteArray::number(v, 'g', 17); };
    CPLStringList args;
    for (const QByteArray& a :
         {QByteArray("-of"), QByteArray("MEM"), QByteArray("-t_srs"), targetWkt, QByteArray("-te"),
          number(west), number(south), number(east), number(north), QByteArray("-ts"),
          QByteArray::number(width), QByteArray::number(height), QByteArray("-r"), QByteArray("bilinear")})
        args.AddString(a.constData());
    if (elevation) {
        for (const char* a : {"-srcnodata", "nan", "-dstnodata", "nan"})
            args.AddString(a);
    } else {
        for (const char* a : {"-srcalpha", "-dstalpha"})
            args.AddString(a);
    }
    GDALWarpAppOptions* options = GDALWarpAppOptionsNew(args.List(), nullptr);
    if (!options)
        return fail(error, path + QStringLiteral(": ") + gdalReason());
    GDALDatasetH input = GDALDataset::ToHandle(source.get());
    int usageError = 0;
    Dataset warped(GDALDataset::FromHandle(GDALWarp("", nullptr, 1, &input, options, &usageError)));
    GDALWarpAppOptionsFree(options);
    if (!warped || warped->GetRasterCount() != (elevation ? 1 : 4))
        return fail(error,
                    path + QStringLiteral(": cannot be put into the project's reference system EPSG:%1: %2")
                               .arg(toEpsg)
                               .arg(gdalReason()));

    const size_t cells = size_t(width) * size_t(height);
    CPLErr read;
    if (elevation) {
        std::vector<float> heights(cells, 0);
        read = warped->GetRasterBand(1)->RasterIO(GF_Read, 0, 0, width, height, heights.data(), width, height,
                                                  GDT_Float32, 0, 0, nullptr);
        out.heights.swap(heights);
    } else {
        std::vector<unsigned char> rgba(cells * 4, 0);
        read = warped->RasterIO(GF_Read, 0, 0, width, height, rgba.data(), width, height, GDT_Byte, 4,
                                nullptr, 4, GSpacing(4) * width, 1, nullptr);
        out.rgba.swap(rgba);
    }
    if (read != CE_None)
        return fail(error, path + QStringLiteral(": ") + gdalReason());
    out.width = width;
    out.height = height;
    out.left = west;
    out.top = north;
    out.cellX = (east - west) / width;
    out.cellY = (north - south) / height;
    out.epsg = toEpsg;
    out.reprojected = true;
    return true;
}

} // namespace

bool GeoRaster::inspect(const QString& path, Header& out, QString* error)
{
    QuietErrors quiet;
    Dataset ds = open(path, error);
    return ds && inspectOpen(*ds, out, path, error);
}

bool GeoRaster::read(const QString& path, int maxSide, GeoRaster& out, QString* error, int projectEpsg)
{
    QuietErrors quiet;
    Dataset ds = open(path, error);
    Header header;
    if (!ds || !inspectOpen(*ds, header, path, error))
        return false;
    double t[6];
    ds->GetGeoTransform(t);

    // Which system the cells go into: the project's when the file names
    // another one; none named, they are survey coordinates already.
    const OGRSpatialReference* srs = systemOf(*ds);
    OGRSpatialReference project;
    bool warp = false;
    if (srs && projectEpsg > 0) {
        if (!projectSystem(projectEpsg, project, error, path))
            return false;
        warp = !sameSystem(*srs, project);
    } else if (srs && !srs->IsProjected()) {
        return fail(error,
                    path + QStringLiteral(": its cells are in %1, not in survey coordinates, and no "
                                          "project reference system is known yet to put them into. Open "
                                          "the georeferenced reconstruction first, or reproject the file: "
                                          "gdalwarp -t_srs EPSG:<the survey's code> \"%2\" out.tif")
                               .arg(systemName(*srs), path));
    }

    out.kind = header.kind;
    out.epsg = warp ? 0 : header.epsg;
    out.reprojected = false;
    out.fileWidth = header.width;
    out.fileHeight = header.height;
    // In 64 bits: a side near the largest int overflows when rounded up.
    const qint64 side = std::max(1, maxSide);
    const qint64 longest = std::max(out.fileWidth, out.fileHeight);
    const qint64 factor = std::max<qint64>(1, (longest + side - 1) / side);
    out.width = int((out.fileWidth + factor - 1) / factor);
    out.height = int((out.fileHeight + factor - 1) / factor);
    out.left = t[0];
    out.top = t[3];
    out.cellX = t[1] * out.fileWidth / out.width;
    out.cellY = -t[5] * out.fileHeight / out.height;
    if (!readCells(*ds, path, out, error))
        return false;
    return !warp || reproject(out, *srs, project, projectEpsg, maxSide, path, error);
}
