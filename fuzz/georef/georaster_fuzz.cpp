// Feeds arbitrary bytes, as a GeoTIFF in GDAL's memory file system, to the
// raster reader of the terrain layers: the header alone, a read in the
// file's own system and a read into a project system (which warps). Besides
// the sanitizers' findings, a read that succeeds must hold a grid of at most
// the size asked, with finite, positive cells at a finite place, and the
// values of its kind; a refusal must say why.
#include "core/formats/GeoRaster.h"

#include "FuzzSupport.h"

#include <cpl_vsi.h>
#include <gdal.h>

#include <cmath>
#include <cstdint>

namespace
{

using fuzz::check;

constexpr int maxSide = 64;

void checkRead(bool ok, const GeoRaster& r, const QString& error)
{
    if (!ok) {
        check(!error.isEmpty());
        return;
    }
    check(r.width >= 1 && r.width <= maxSide && r.height >= 1 && r.height <= maxSide);
    check(std::isfinite(r.left) && std::isfinite(r.top));
    check(std::isfinite(r.cellX) && r.cellX > 0 && std::isfinite(r.cellY) && r.cellY > 0);
    const size_t cells = size_t(r.width) * size_t(r.height);
    if (r.kind == GeoRaster::Kind::Elevation) {
        check(r.heights.size() == cells && r.rgba.empty());
        for (float h : r.heights)
            check(std::isnan(h) || std::isfinite(h));
    } else {
        check(r.rgba.size() == cells * 4 && r.heights.empty());
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    GDALAllRegister();
    // No more than a few megabytes of GDAL's block cache per input.
    GDALSetCacheMax64(int64_t(64) << 20);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const char* name = "/vsimem/georaster_fuzz.tif";
    VSILFILE* file = VSIFileFromMemBuffer(name, const_cast<GByte*>(data), vsi_l_offset(size), FALSE);
    if (!file)
        return 0;
    VSIFCloseL(file);
    const QString path = QString::fromLatin1(name);

    GeoRaster::Header header;
    QString error;
    if (!GeoRaster::inspect(path, header, &error)) {
        check(!error.isEmpty());
    } else {
        check(header.width >= 1 && header.height >= 1);
        for (int project : {0, 32633}) {
            GeoRaster raster;
            error.clear();
            const bool ok = GeoRaster::read(path, maxSide, raster, &error, project);
            checkRead(ok, raster, error);
            check(!ok || raster.kind == header.kind);
        }
    }
    VSIUnlink(name);
    return 0;
}
