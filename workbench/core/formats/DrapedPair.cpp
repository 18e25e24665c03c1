#include "core/formats/DrapedPair.h"

#include <QDir>
#include <QFileInfo>

#include "core/formats/GeoRaster.h"

namespace
{

bool isKind(const QString& file, GeoRaster::Kind kind)
{
    GeoRaster::Header header;
    return QFileInfo(file).isFile() && GeoRaster::inspect(file, header, nullptr) && header.kind == kind;
}

} // namespace

DrapedPair DrapedPair::of(const QString& file, QString* error)
{
    DrapedPair pair;
    GeoRaster::Header header;
    if (!GeoRaster::inspect(file, header, error))
        return pair;
    const QDir folder = QFileInfo(file).dir();
    if (header.kind == GeoRaster::Kind::Elevation) {
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
    return clean(dsm) + QLatin1Char('\n') + clean(ortho);
}
