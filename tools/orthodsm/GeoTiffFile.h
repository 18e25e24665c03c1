#pragma once

#include <mutex>
#include <string>

#include <gdal.h>

#include "RasterGrid.h"

class GDALDataset;

// A tiled, compressed GeoTIFF written window by window from several threads
// (the writes are serialised here), with its reference system, geotransform
// and internal overviews, so no raster needs to be held whole.
class GeoTiffFile
{
public:
    GeoTiffFile() = default;
    GeoTiffFile(const GeoTiffFile&) = delete;
    GeoTiffFile& operator=(const GeoTiffFile&) = delete;
    ~GeoTiffFile();

    // bands of type; alpha makes the last of four bands the RGBA alpha;
    // noData (when given) marks cells without a value.
    bool create(const std::string& path, const RasterGrid& grid, int bands, GDALDataType type, int epsg,
                int tile, bool alpha, const double* noData, std::string& error);
    // A window of pixel-interleaved values (bands per pixel).
    bool write(int x, int y, int width, int height, const void* data, std::string& error);
    // Builds the overviews (halving until a side fits one tile) and closes the file.
    bool finish(const char* resampling, std::string& error);

private:
    GDALDataset* m_dataset = nullptr;
    GDALDataType m_type = GDT_Byte;
    int m_bands = 1;
    int m_tile = 512;
    std::mutex m_mutex;
};
