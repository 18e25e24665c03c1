#include "core/survey/SiteSurvey.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>

#include <gdal_priv.h>

#include <algorithm>

#include "core/formats/DrapedPair.h"
#include "core/formats/GeoRaster.h"
#include "core/survey/GdalScope.h"

bool SiteSurvey::of(const QString& dsmPath, SiteSurvey& out, QString* error)
{
    GeoRaster::Header header;
    if (!GeoRaster::inspect(dsmPath, header, error))
        return false;
    if (header.kind != GeoRaster::Kind::Elevation) {
        if (error)
            *error = dsmPath + QStringLiteral(": not an elevation model");
        return false;
    }
    SiteSurvey s;
    const QFileInfo info(dsmPath);
    s.dsm = info.absoluteFilePath();
    QDir dir = info.absoluteDir();
    const QString ortho = dir.filePath(DrapedPair::orthophotoName());
    GeoRaster::Header orthoHeader;
    if (QFileInfo(ortho).isFile() && GeoRaster::inspect(ortho, orthoHeader, nullptr) &&
        orthoHeader.kind == GeoRaster::Kind::Image)
        s.ortho = ortho;
    if (dir.dirName() == QLatin1String("ortho"))
        dir.cdUp();
    s.folder = dir.absolutePath();
    s.epsg = header.epsg;
    {
        GdalScope scope;
        const auto cellOf = [](const QString& file) {
            double t[6] = {0, 0, 0, 0, 0, 0};
            GDALDatasetH ds = GDALOpenEx(QFile::encodeName(file).constData(),
                                         GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr);
            if (ds) {
                GDALGetGeoTransform(ds, t);
                GDALClose(ds);
            }
            return t[1];
        };
        s.dsmCell = cellOf(s.dsm);
        s.groundSample = s.ortho.isEmpty() ? s.dsmCell : cellOf(s.ortho);
        if (!(s.groundSample > 0))
            s.groundSample = s.dsmCell;
    }
    s.date = photoDate(s.folder);
    out = s;
    return true;
}

QString SiteSurvey::photoDate(const QString& folder, int maxPhotos)
{
    GdalScope scope;
    const QStringList photos =
        QDir(folder).entryList({QStringLiteral("*.jpg"), QStringLiteral("*.JPG"), QStringLiteral("*.jpeg"),
                                QStringLiteral("*.JPEG"), QStringLiteral("*.tif"), QStringLiteral("*.TIF")},
                               QDir::Files, QDir::Name);
    QMap<QString, int> days;
    int seen = 0;
    // Only the JPEG and GeoTIFF drivers: they read the EXIF block of the header alone.
    const char* const drivers[] = {"JPEG", "GTiff", nullptr};
    for (const QString& name : photos) {
        if (seen++ >= maxPhotos)
            break;
        GDALDatasetH ds = GDALOpenEx(QFile::encodeName(QDir(folder).filePath(name)).constData(),
                                     GDAL_OF_RASTER | GDAL_OF_READONLY, drivers, nullptr, nullptr);
        if (!ds)
            continue;
        const char* taken = GDALGetMetadataItem(ds, "EXIF_DateTimeOriginal", nullptr);
        if (!taken)
            taken = GDALGetMetadataItem(ds, "EXIF_DateTime", nullptr);
        // "2026:06:12 10:00:02"
        const QString text = QString::fromLatin1(taken ? taken : "").trimmed();
        if (text.size() >= 10 && text[4] == QLatin1Char(':') && text[7] == QLatin1Char(':')) {
            const QString day = text.left(10).replace(QLatin1Char(':'), QLatin1Char('-'));
            bool a = false, b = false, c = false;
            day.mid(0, 4).toInt(&a);
            day.mid(5, 2).toInt(&b);
            day.mid(8, 2).toInt(&c);
            if (a && b && c && day != QLatin1String("0000-00-00"))
                ++days[day];
        }
        GDALClose(ds);
    }
    QString best;
    for (auto it = days.begin(); it != days.end(); ++it)
        if (best.isEmpty() || it.value() > days.value(best))
            best = it.key();
    return best;
}

QString SiteSurvey::label() const
{
    return date.isEmpty() ? QStringLiteral("Survey ") + QFileInfo(folder).fileName()
                          : QStringLiteral("Survey ") + date;
}

void SiteSurvey::sortByDate(QVector<SiteSurvey>& surveys)
{
    std::stable_sort(surveys.begin(), surveys.end(), [](const SiteSurvey& a, const SiteSurvey& b) {
        if (a.date.isEmpty() != b.date.isEmpty())
            return !a.date.isEmpty();
        return a.date != b.date ? a.date < b.date : a.folder < b.folder;
    });
}
