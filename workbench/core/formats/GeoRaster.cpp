#include "core/formats/GeoRaster.h"

#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <algorithm>
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
    void operator()(GDALDataset* d) const { GDALClose(d); }
};

} // namespace

bool GeoRaster::read(const QString& path, int maxSide, GeoRaster& out, QString* error)
{
    GDALAllRegister();
    const QByteArray local = path.toLocal8Bit();
    std::unique_ptr<GDALDataset, Closer> ds(static_cast<GDALDataset*>(
        GDALOpenEx(local.constData(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr)));
    if (!ds)
        return fail(error, path + QStringLiteral(": not a raster GDAL reads"));
    double t[6];
    if (ds->GetGeoTransform(t) != CE_None || t[2] != 0 || t[4] != 0 || !(t[1] > 0) || !(t[5] < 0))
        return fail(error,
                    path + QStringLiteral(": no north-up geotransform, so it has no place in the survey"));
    const int bands = ds->GetRasterCount();
    GDALRasterBand* first = bands > 0 ? ds->GetRasterBand(1) : nullptr;
    if (bands == 1 && first->GetRasterDataType() != GDT_Byte)
        out.kind = Kind::Elevation;
    else if ((bands == 3 || bands == 4) && first->GetRasterDataType() == GDT_Byte)
        out.kind = Kind::Image;
    else
        return fail(
            error,
            path + QStringLiteral(": neither an elevation model (one band of heights) nor an RGB(A) image"));
    out.epsg = 0;
    if (const OGRSpatialReference* srs = ds->GetSpatialRef()) {
        const char* code = srs->GetAuthorityCode(nullptr);
        const char* name = srs->GetAuthorityName(nullptr);
        if (code && name && QByteArray(name) == "EPSG")
            out.epsg = QByteArray(code).toInt();
    }
    out.fileWidth = ds->GetRasterXSize();
    out.fileHeight = ds->GetRasterYSize();
    const int factor =
        std::max(1, int(std::ceil(double(std::max(out.fileWidth, out.fileHeight)) / std::max(1, maxSide))));
    out.width = std::max(1, (out.fileWidth + factor - 1) / factor);
    out.height = std::max(1, (out.fileHeight + factor - 1) / factor);
    out.left = t[0];
    out.top = t[3];
    out.cellX = t[1] * out.fileWidth / out.width;
    out.cellY = -t[5] * out.fileHeight / out.height;

    GDALRasterIOExtraArg extra;
    INIT_RASTERIO_EXTRA_ARG(extra);
    extra.eResampleAlg = GRIORA_Average;
    const size_t cells = size_t(out.width) * size_t(out.height);
    if (out.kind == Kind::Elevation) {
        out.heights.assign(cells, 0);
        if (first->RasterIO(GF_Read, 0, 0, out.fileWidth, out.fileHeight, out.heights.data(), out.width,
                            out.height, GDT_Float32, 0, 0, &extra) != CE_None)
            return fail(error, path + QStringLiteral(": ") + QString::fromLocal8Bit(CPLGetLastErrorMsg()));
        int hasNoData = 0;
        const double noData = first->GetNoDataValue(&hasNoData);
        for (float& h : out.heights)
            if ((hasNoData && h == float(noData)) || !std::isfinite(h))
                h = std::numeric_limits<float>::quiet_NaN();
        out.rgba.clear();
    } else {
        out.rgba.assign(cells * 4, 255);
        int bandList[4] = {1, 2, 3, 4};
        if (ds->RasterIO(GF_Read, 0, 0, out.fileWidth, out.fileHeight, out.rgba.data(), out.width, out.height,
                         GDT_Byte, bands, bandList, 4, GSpacing(4) * out.width, 1, &extra) != CE_None)
            return fail(error, path + QStringLiteral(": ") + QString::fromLocal8Bit(CPLGetLastErrorMsg()));
        out.heights.clear();
    }
    return true;
}
