#include "GeoTiffFile.h"

#include <vector>

#include <cpl_string.h>
#include <gdal_priv.h>
#include <ogr_spatialref.h>

GeoTiffFile::~GeoTiffFile()
{
    if (m_dataset)
        GDALClose(m_dataset);
}

bool GeoTiffFile::create(const std::string& path, const RasterGrid& grid, int bands, GDALDataType type,
                         int epsg, int tile, bool alpha, const double* noData, std::string& error)
{
    GDALAllRegister();
    GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("GTiff");
    if (!driver) {
        error = "GDAL has no GeoTIFF driver";
        return false;
    }
    CPLStringList options;
    options.SetNameValue("TILED", "YES");
    options.SetNameValue("BLOCKXSIZE", std::to_string(tile).c_str());
    options.SetNameValue("BLOCKYSIZE", std::to_string(tile).c_str());
    options.SetNameValue("COMPRESS", "DEFLATE");
    options.SetNameValue("PREDICTOR", type == GDT_Float32 ? "3" : "2");
    options.SetNameValue("BIGTIFF", "IF_SAFER");
    // Compressing the tiles is much of the writing: on every core.
    options.SetNameValue("NUM_THREADS", "ALL_CPUS");
    if (alpha) {
        options.SetNameValue("PHOTOMETRIC", "RGB");
        options.SetNameValue("ALPHA", "YES");
    }
    m_dataset = driver->Create(path.c_str(), grid.width, grid.height, bands, type, options.List());
    if (!m_dataset) {
        error = "cannot write " + path + ": " + CPLGetLastErrorMsg();
        return false;
    }
    m_type = type;
    m_bands = bands;
    m_tile = tile;
    double transform[6] = {grid.left, grid.cell, 0, grid.top, 0, -grid.cell};
    m_dataset->SetGeoTransform(transform);
    OGRSpatialReference srs;
    srs.importFromEPSG(epsg);
    m_dataset->SetSpatialRef(&srs);
    if (noData)
        for (int b = 1; b <= bands; ++b)
            m_dataset->GetRasterBand(b)->SetNoDataValue(*noData);
    return true;
}

bool GeoTiffFile::write(int x, int y, int width, int height, const void* data, std::string& error)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const int size = GDALGetDataTypeSizeBytes(m_type);
    const CPLErr result = m_dataset->RasterIO(GF_Write, x, y, width, height, const_cast<void*>(data), width,
                                              height, m_type, m_bands, nullptr, GSpacing(size) * m_bands,
                                              GSpacing(size) * m_bands * width, size);
    if (result != CE_None) {
        error = std::string("writing the raster failed: ") + CPLGetLastErrorMsg();
        return false;
    }
    return true;
}

bool GeoTiffFile::finish(const char* resampling, std::string& error)
{
    std::vector<int> levels;
    for (int f = 2;
         m_dataset->GetRasterXSize() / (f / 2) > m_tile || m_dataset->GetRasterYSize() / (f / 2) > m_tile;
         f *= 2)
        levels.push_back(f);
    CPLSetConfigOption("COMPRESS_OVERVIEW", "DEFLATE");
    CPLSetConfigOption("GDAL_NUM_THREADS", "ALL_CPUS");
    bool ok = true;
    if (!levels.empty() && GDALBuildOverviews(m_dataset, resampling, int(levels.size()), levels.data(), 0,
                                              nullptr, nullptr, nullptr) != CE_None) {
        error = std::string("building the overviews failed: ") + CPLGetLastErrorMsg();
        ok = false;
    }
    // Closing writes the last tiles; GDAL reports a failure there only
    // through its error state.
    CPLErrorReset();
    GDALClose(m_dataset);
    if (CPLGetLastErrorType() >= CE_Failure && ok) {
        error = std::string("closing the raster failed: ") + CPLGetLastErrorMsg();
        ok = false;
    }
    m_dataset = nullptr;
    return ok;
}
