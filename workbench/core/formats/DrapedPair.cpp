#include "core/formats/DrapedPair.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "core/formats/GeoRaster.h"
#include "common/numbers/NumberText.h"

#include <gdal_priv.h>

#include <cmath>

namespace
{

bool isKind(const QString& file, GeoRaster::Kind kind)
{
    GeoRaster::Header header;
    return QFileInfo(file).isFile() && GeoRaster::inspect(file, header, nullptr) && header.kind == kind;
}

// The surface and ramp a difference raster names; false for any other raster.
bool differenceOf(const QString& file, QString& surface, double& ramp)
{
    CPLPushErrorHandler(CPLQuietErrorHandler);
    const char* const drivers[] = {"GTiff", nullptr};
    GDALDatasetH ds = GDALOpenEx(QFile::encodeName(file).constData(), GDAL_OF_RASTER | GDAL_OF_READONLY,
                                 drivers, nullptr, nullptr);
    bool found = false;
    if (ds) {
        const char* kind = GDALGetMetadataItem(ds, DrapedPair::differenceKey(), nullptr);
        const char* named = GDALGetMetadataItem(ds, DrapedPair::surfaceKey(), nullptr);
        const char* limit = GDALGetMetadataItem(ds, DrapedPair::rampKey(), nullptr);
        if (kind && named && *named) {
            found = true;
            surface = QFileInfo(file).dir().filePath(QString::fromUtf8(named));
            const QByteArray text(limit ? limit : "");
            if (!NumberText::read(text.constData(), text.constData() + text.size(), ramp) ||
                !std::isfinite(ramp) || !(ramp > 0))
                ramp = 1;
        }
        GDALClose(ds);
    }
    CPLPopErrorHandler();
    return found;
}

} // namespace

DrapedPair DrapedPair::of(const QString& file, QString* error)
{
    DrapedPair pair;
    GeoRaster::Header header;
    if (!GeoRaster::inspect(file, header, error))
        return pair;
    const QDir folder = QFileInfo(file).dir();
    QString surface;
    double ramp = 0;
    if (header.kind == GeoRaster::Kind::Elevation && differenceOf(file, surface, ramp)) {
        if (!isKind(surface, GeoRaster::Kind::Elevation)) {
            if (error)
                *error = file + QStringLiteral(": a change between surveys whose later elevation model %1 is "
                                               "gone, so it has no surface to be shown on")
                                    .arg(surface);
            return pair;
        }
        pair.dsm = surface;
        pair.difference = file;
        pair.rampLimit = ramp;
    } else if (header.kind == GeoRaster::Kind::Elevation) {
        pair.dsm = file;
        const QString partner = folder.filePath(orthophotoName());
        if (isKind(partner, GeoRaster::Kind::Image))
            pair.ortho = partner;
    } else {
        pair.ortho = file;
        const QString partner = folder.filePath(dsmName());
        if (isKind(partner, GeoRaster::Kind::Elevation))
            pair.dsm = partner;
    }
    return pair;
}

QString DrapedPair::key() const
{
    if (dsm.isEmpty())
        return QString();
    const auto clean = [](const QString& f) {
        return f.isEmpty() ? QString() : QDir::cleanPath(QFileInfo(f).absoluteFilePath());
    };
    return clean(dsm) + QLatin1Char('\n') + clean(difference.isEmpty() ? ortho : difference);
}
