#pragma once

// GeoTIFFs made for a test through GDAL, the outside writer: elevation
// models, orthophotos, and the hostile files fuzzing found, built small.

#include <QByteArray>
#include <QString>

#include <cpl_string.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

#include <functional>
#include <vector>

namespace TestRasters
{

struct Spec {
    int width = 8, height = 8, bands = 1;
    GDALDataType type = GDT_Float32;
    double transform[6] = {500000, 1, 0, 4000008, 0, -1}; // 1 m cells in UTM 33N
    int epsg = 32633;                                     // 0: no reference system
    // Band (1-based), column, row -> value; constant 100 when not given.
    std::function<double(int, int, int)> value;
    bool write = true;   // false: no cell written (a sparse file)
    QStringList options; // creation options, "NAME=VALUE"
    bool hasNoData = false;
    double noData = 0;
    GDALColorInterp lastBand = GCI_Undefined; // e.g. GCI_AlphaBand
    std::vector<GDALColorEntry> palette;      // a colour table on band 1
};

inline bool write(const QString& path, const Spec& s)
{
    GDALAllRegister();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    CPLStringList options;
    for (const QString& o : s.options)
        options.AddString(o.toUtf8().constData());
    GDALDataset* ds =
        driver->Create(path.toUtf8().constData(), s.width, s.height, s.bands, s.type, options.List());
    if (!ds)
        return false;
    double t[6];
    std::copy(s.transform, s.transform + 6, t);
    ds->SetGeoTransform(t);
    if (s.epsg) {
        OGRSpatialReference srs;
        srs.importFromEPSG(s.epsg);
        ds->SetSpatialRef(&srs);
    }
    bool ok = true;
    for (int b = 1; b <= s.bands; ++b) {
        GDALRasterBand* band = ds->GetRasterBand(b);
        if (s.hasNoData)
            band->SetNoDataValue(s.noData);
        if (b == s.bands && s.lastBand != GCI_Undefined)
            band->SetColorInterpretation(s.lastBand);
        if (b == 1 && !s.palette.empty()) {
            GDALColorTable table;
            for (size_t i = 0; i < s.palette.size(); ++i)
                table.SetColorEntry(int(i), &s.palette[i]);
            band->SetColorTable(&table);
        }
        if (!s.write)
            continue;
        std::vector<double> cells(size_t(s.width) * size_t(s.height));
        for (int r = 0; r < s.height; ++r)
            for (int c = 0; c < s.width; ++c)
                cells[size_t(r) * size_t(s.width) + size_t(c)] = s.value ? s.value(b, c, r) : 100.0;
        ok = ok && band->RasterIO(GF_Write, 0, 0, s.width, s.height, cells.data(), s.width, s.height,
                                  GDT_Float64, 0, 0, nullptr) == CE_None;
    }
    GDALClose(ds);
    return ok;
}

// An orthophoto: RGBA bytes (alpha opaque) over the same place as a DSM spec.
inline Spec orthophoto(const Spec& dsm, int scale = 2)
{
    Spec s = dsm;
    s.width = dsm.width * scale;
    s.height = dsm.height * scale;
    s.transform[1] = dsm.transform[1] / scale;
    s.transform[5] = dsm.transform[5] / scale;
    s.bands = 4;
    s.type = GDT_Byte;
    s.lastBand = GCI_AlphaBand;
    s.value = [](int band, int, int) { return band == 4 ? 255.0 : 40.0 * band; };
    return s;
}

} // namespace TestRasters
