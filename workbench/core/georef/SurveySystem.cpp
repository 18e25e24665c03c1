#include "core/georef/SurveySystem.h"

#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <cmath>
#include <map>
#include <memory>

#include <ogr_spatialref.h>
#include <proj.h>

#include "core/georef/UtmProjection.h"

namespace
{

QString describe(int epsg, const OGRSpatialReference& srs)
{
    const char* name = srs.GetName();
    return name && *name ? QStringLiteral("EPSG:%1 (%2)").arg(epsg).arg(QString::fromUtf8(name))
                         : QStringLiteral("EPSG:%1").arg(epsg);
}

QString why(int epsg)
{
    OGRSpatialReference srs;
    if (srs.importFromEPSG(epsg) != OGRERR_NONE)
        return QStringLiteral("unknown reference system EPSG:%1").arg(epsg);
    const QString system = describe(epsg, srs);
    const QString wanted = QStringLiteral(": survey coordinates need a projected system in metres "
                                          "(a UTM zone, a national grid)");
    if (srs.IsGeographic())
        return system + QStringLiteral(" gives latitude and longitude in degrees") + wanted;
    if (srs.IsGeocentric())
        return system + QStringLiteral(" is geocentric (X, Y, Z from the earth's centre)") + wanted;
    if (!srs.IsProjected())
        return system +
               (srs.IsVertical() ? QStringLiteral(" holds heights only")
                                 : QStringLiteral(" is not projected")) +
               wanted;
    const char* unit = nullptr;
    const double metres = srs.GetLinearUnits(&unit);
    if (metres != 1.0)
        return system +
               QStringLiteral(" measures in %1").arg(QString::fromUtf8(unit ? unit : "another unit")) +
               wanted;
    return QString();
}

} // namespace

bool SurveySystem::check(int epsg, QString* reason)
{
    static QMutex mutex;
    static QHash<int, QString> known;
    QMutexLocker lock(&mutex);
    auto found = known.constFind(epsg);
    if (found == known.constEnd()) {
        // GDAL prints what PROJ says of an unknown code; the reason says it once.
        CPLPushErrorHandler(CPLQuietErrorHandler);
        found = known.insert(epsg, why(epsg));
        CPLPopErrorHandler();
    }
    if (found->isEmpty())
        return true;
    if (reason)
        *reason = *found;
    return false;
}

bool SurveySystem::checkScaleAt(int epsg, double easting, double northing, QString* reason)
{
    // PROJ builds a transformation from its database in milliseconds: each
    // system's is kept, and used under the lock (PROJ objects are not shared
    // between threads).
    static QMutex mutex;
    static std::map<int, std::unique_ptr<UtmProjection>> grids;
    static PJ_CONTEXT* context = proj_context_create();
    static PJ* ellipsoid = proj_create(context, "+proj=longlat +ellps=WGS84");
    QMutexLocker lock(&mutex);
    if (grids.size() > 64 && !grids.count(epsg))
        grids.clear(); // a project uses one or two systems: the cache needs no more
    std::unique_ptr<UtmProjection>& grid = grids[epsg];
    if (!grid)
        grid = std::make_unique<UtmProjection>(epsg);
    if (!grid->valid()) {
        *reason = grid->error();
        return false;
    }
    // A step of 100 grid metres east and north, and the ground distance PROJ
    // measures between their ends on the WGS 84 ellipsoid.
    constexpr double step = 100;
    double lat[3], lon[3];
    const double x[3] = {easting, easting + step, easting}, y[3] = {northing, northing, northing + step};
    for (int i = 0; i < 3; ++i)
        if (!grid->geographic(x[i], y[i], &lat[i], &lon[i]) || !(std::abs(lat[i]) <= 90)) {
            *reason = QStringLiteral("%1, %2 is not a place EPSG:%3 knows")
                          .arg(easting, 0, 'f', 3)
                          .arg(northing, 0, 'f', 3)
                          .arg(epsg);
            return false;
        }
    double worst = 0;
    for (int i = 1; i < 3 && ellipsoid; ++i) {
        const double ground =
            proj_lp_dist(ellipsoid, proj_coord(lon[0] * M_PI / 180, lat[0] * M_PI / 180, 0, 0),
                         proj_coord(lon[i] * M_PI / 180, lat[i] * M_PI / 180, 0, 0));
        const double error = step / ground - 1;
        if (!(std::abs(error) <= std::abs(worst)))
            worst = error;
    }
    if (std::abs(worst) <= maxScaleError)
        return true;
    *reason =
        std::isfinite(worst)
            ? QStringLiteral("EPSG:%1 stretches distances by %2 % where the points lie: its metres are not "
                             "ground metres, which survey coordinates need (a UTM zone, a national grid)")
                  .arg(epsg)
                  .arg(worst * 100, 0, 'f', 1)
            : QStringLiteral("PROJ cannot measure distances of EPSG:%1 where the points lie").arg(epsg);
    return false;
}
