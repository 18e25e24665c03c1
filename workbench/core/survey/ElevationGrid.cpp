#include "core/survey/ElevationGrid.h"

#include <QFile>

#include <cpl_string.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>

#include "core/survey/GdalScope.h"

namespace
{

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

int epsgOf(const OGRSpatialReference& srs)
{
    const char* name = srs.GetAuthorityName(nullptr);
    const char* code = srs.GetAuthorityCode(nullptr);
    return name && code && QByteArray(name) == "EPSG" ? qMax(0, QByteArray(code).toInt()) : 0;
}

// Survey coordinates beyond this lie on no site.
constexpr double farthest = 1e9;

} // namespace

bool ElevationGrid::read(const QString& path, ElevationGrid& out, QString* error, const Window* window,
                         int margin)
{
    GdalScope scope;
    // Only the GeoTIFF driver reads the bytes: a VRT would read whatever files it names.
    const char* const drivers[] = {"GTiff", nullptr};
    const QByteArray local = QFile::encodeName(path);
    GDALDataset* ds = GDALDataset::FromHandle(
        GDALOpenEx(local.constData(), GDAL_OF_RASTER | GDAL_OF_READONLY, drivers, nullptr, nullptr));
    if (!ds)
        return fail(error, path + QStringLiteral(": not a GeoTIFF GDAL reads: ") + GdalScope::reason());
    struct Closer {
        GDALDataset* d;
        ~Closer() { GdalScope::close(d); }
    } closer{ds};

    const int W = ds->GetRasterXSize(), H = ds->GetRasterYSize();
    double t[6];
    if (W < 1 || H < 1 || ds->GetRasterCount() != 1)
        return fail(error, path + QStringLiteral(": not an elevation model (one band of heights)"));
    const GDALDataType type = ds->GetRasterBand(1)->GetRasterDataType();
    if (type == GDT_Byte || GDALDataTypeIsComplex(type) || type == GDT_Unknown)
        return fail(error, path + QStringLiteral(": not an elevation model (one band of heights)"));
    if (ds->GetGeoTransform(t) != CE_None || t[2] != 0 || t[4] != 0 || !(t[1] > 0) || !(t[5] < 0) ||
        !(std::fabs(t[0]) < farthest) || !(std::fabs(t[3]) < farthest) ||
        !(std::fabs(t[0] + t[1] * W) < farthest) || !(std::fabs(t[3] + t[5] * H) < farthest))
        return fail(error,
                    path + QStringLiteral(": no north-up geotransform, so it has no place in the survey"));

    int c0 = 0, r0 = 0, c1 = W, r1 = H; // [c0, c1) x [r0, r1)
    if (window) {
        const double a = std::floor((window->minX - t[0]) / t[1]) - margin;
        const double b = std::ceil((window->maxX - t[0]) / t[1]) + margin;
        const double c = std::floor((t[3] - window->maxY) / -t[5]) - margin;
        const double d = std::ceil((t[3] - window->minY) / -t[5]) + margin;
        if (!(b > 0 && a < W && d > 0 && c < H) || !(window->maxX > window->minX) ||
            !(window->maxY > window->minY))
            return fail(error,
                        path + QStringLiteral(": the area asked for lies outside the elevation model"));
        c0 = int(std::max(0.0, a));
        c1 = int(std::min(double(W), b));
        r0 = int(std::max(0.0, c));
        r1 = int(std::min(double(H), d));
    }
    const qint64 cells = qint64(c1 - c0) * qint64(r1 - r0);
    if (cells > maxCells)
        return fail(error, path + QStringLiteral(": %1 x %2 cells, more than this workbench reads at once "
                                                 "(%3 million); work on a part of the site")
                                      .arg(c1 - c0)
                                      .arg(r1 - r0)
                                      .arg(maxCells / 1000000));

    ElevationGrid g;
    g.width = c1 - c0;
    g.height = r1 - r0;
    g.cellX = t[1];
    g.cellY = -t[5];
    g.left = t[0] + c0 * t[1];
    g.top = t[3] + r0 * t[5];
    try {
        g.heights.assign(size_t(cells), 0.f);
    } catch (const std::bad_alloc&) {
        return fail(error, path + QStringLiteral(": not enough memory for %1 cells").arg(cells));
    }
    GDALRasterBand* band = ds->GetRasterBand(1);
    if (band->RasterIO(GF_Read, c0, r0, g.width, g.height, g.heights.data(), g.width, g.height, GDT_Float32,
                       0, 0, nullptr) != CE_None)
        return fail(error, path + QStringLiteral(": ") + GdalScope::reason());
    int hasNoData = 0;
    const double noData = band->GetNoDataValue(&hasNoData);
    const bool marks = hasNoData && std::fabs(noData) <= FLT_MAX;
    const float none = marks ? float(noData) : 0.f;
    for (float& h : g.heights)
        if ((marks && h == none) || !std::isfinite(h))
            h = std::numeric_limits<float>::quiet_NaN();
    if (const OGRSpatialReference* srs = ds->GetSpatialRef(); srs && !srs->IsEmpty() && !srs->IsLocal()) {
        g.epsg = epsgOf(*srs);
        char* text = nullptr;
        srs->exportToWkt(&text);
        g.wkt = QByteArray(text ? text : "");
        CPLFree(text);
    }
    out = std::move(g);
    return true;
}

bool ElevationGrid::writeGeoTiff(const QString& path, const QMap<QByteArray, QByteArray>& metadata,
                                 QString* error) const
{
    GdalScope scope;
    if (isEmpty())
        return fail(error, path + QStringLiteral(": nothing to write"));
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    if (!driver)
        return fail(error, QStringLiteral("GDAL has no GeoTIFF driver"));
    const QString part = GdalScope::partName(path);
    CPLStringList options;
    options.SetNameValue("TILED", "YES");
    options.SetNameValue("BLOCKXSIZE", "256");
    options.SetNameValue("BLOCKYSIZE", "256");
    options.SetNameValue("COMPRESS", "DEFLATE");
    options.SetNameValue("PREDICTOR", "3");
    options.SetNameValue("BIGTIFF", "IF_SAFER");
    GDALDataset* ds =
        driver->Create(QFile::encodeName(part).constData(), width, height, 1, GDT_Float32, options.List());
    if (!ds)
        return fail(error, path + QStringLiteral(": cannot be written: ") + GdalScope::reason());
    const auto abandon = [&](const QString& why) {
        GdalScope::close(ds);
        QFile::remove(part);
        return fail(error, path + QStringLiteral(": ") + why);
    };
    double t[6] = {left, cellX, 0, top, 0, -cellY};
    ds->SetGeoTransform(t);
    if (!wkt.isEmpty()) {
        OGRSpatialReference srs;
        if (srs.importFromWkt(wkt.constData()) == OGRERR_NONE)
            ds->SetSpatialRef(&srs);
    } else if (epsg > 0) {
        OGRSpatialReference srs;
        if (srs.importFromEPSG(epsg) == OGRERR_NONE)
            ds->SetSpatialRef(&srs);
    }
    for (auto it = metadata.begin(); it != metadata.end(); ++it)
        ds->SetMetadataItem(it.key().constData(), it.value().constData());
    GDALRasterBand* band = ds->GetRasterBand(1);
    band->SetNoDataValue(noDataValue);
    // Row blocks, so the file's copy with the no-data value needs no second raster.
    const int rows = 256;
    std::vector<float> buffer;
    for (int r = 0; r < height; r += rows) {
        const int n = std::min(rows, height - r);
        buffer.assign(heights.begin() + std::ptrdiff_t(size_t(r) * size_t(width)),
                      heights.begin() + std::ptrdiff_t(size_t(r + n) * size_t(width)));
        for (float& h : buffer)
            if (std::isnan(h))
                h = noDataValue;
        if (band->RasterIO(GF_Write, 0, r, width, n, buffer.data(), width, n, GDT_Float32, 0, 0, nullptr) !=
            CE_None)
            return abandon(GdalScope::reason());
    }
    // Overviews down to a tile, so the scene and a GIS open it quickly.
    std::vector<int> levels;
    for (int f = 2; std::max(width, height) / f >= 256; f *= 2)
        levels.push_back(f);
    if (!levels.empty() && ds->BuildOverviews("AVERAGE", int(levels.size()), levels.data(), 0, nullptr,
                                              nullptr, nullptr) != CE_None)
        return abandon(GdalScope::reason());
    if (!GdalScope::close(ds)) {
        QFile::remove(part);
        return fail(error, path + QStringLiteral(": ") + GdalScope::reason());
    }
    return GdalScope::commit(part, path, error);
}

double ElevationGrid::heightAt(double px, double py) const
{
    if (isEmpty())
        return std::numeric_limits<double>::quiet_NaN();
    const double u = (px - left) / cellX - 0.5, v = (top - py) / cellY - 0.5;
    if (!(u >= -0.5 && v >= -0.5 && u <= width - 0.5 && v <= height - 0.5))
        return std::numeric_limits<double>::quiet_NaN();
    const double cu = std::clamp(u, 0.0, double(width - 1)), cv = std::clamp(v, 0.0, double(height - 1));
    const int i = std::min(int(cu), std::max(0, width - 2)), j = std::min(int(cv), std::max(0, height - 2));
    const int i1 = std::min(i + 1, width - 1), j1 = std::min(j + 1, height - 1);
    const double fu = cu - i, fv = cv - j;
    const double h00 = at(i, j), h10 = at(i1, j), h01 = at(i, j1), h11 = at(i1, j1);
    return (1 - fv) * ((1 - fu) * h00 + fu * h10) + fv * ((1 - fu) * h01 + fu * h11);
}

bool ElevationGrid::range(double& low, double& high) const
{
    float lo = INFINITY, hi = -INFINITY;
    for (float h : heights)
        if (!std::isnan(h)) {
            lo = std::min(lo, h);
            hi = std::max(hi, h);
        }
    if (!(hi >= lo))
        return false;
    low = lo;
    high = hi;
    return true;
}

bool ElevationGrid::sameSystem(const ElevationGrid& a, const ElevationGrid& b)
{
    if (a.epsg > 0 && a.epsg == b.epsg)
        return true;
    if (a.wkt.isEmpty() || b.wkt.isEmpty())
        return a.wkt.isEmpty() && b.wkt.isEmpty() && a.epsg == b.epsg;
    OGRSpatialReference sa, sb;
    if (sa.importFromWkt(a.wkt.constData()) != OGRERR_NONE ||
        sb.importFromWkt(b.wkt.constData()) != OGRERR_NONE)
        return false;
    const char* options[] = {"IGNORE_DATA_AXIS_TO_SRS_AXIS_MAPPING=YES", "CRITERION=EQUIVALENT", nullptr};
    return sa.IsSame(&sb, options);
}

QString ElevationGrid::systemName() const
{
    if (epsg > 0)
        return QStringLiteral("EPSG:%1").arg(epsg);
    if (wkt.isEmpty())
        return QStringLiteral("no reference system");
    OGRSpatialReference srs;
    if (srs.importFromWkt(wkt.constData()) == OGRERR_NONE && srs.GetName())
        return QString::fromUtf8(srs.GetName());
    return QStringLiteral("an unnamed reference system");
}
