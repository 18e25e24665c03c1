#include "core/georef/UtmProjection.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

#include <proj.h>

int UtmProjection::zoneCode(double latitude, double longitude)
{
    double l = std::fmod(longitude + 180, 360);
    if (l < 0)
        l += 360;
    const int zone = std::min(60, int(l / 6) + 1);
    return (latitude < 0 ? 32700 : 32600) + zone;
}

int UtmProjection::parseSystem(const QString& text)
{
    const QString t = text.trimmed();
    static const QRegularExpression epsg(QStringLiteral("^EPSG\\s*:\\s*(\\d{4,6})$"),
                                         QRegularExpression::CaseInsensitiveOption);
    QRegularExpressionMatch m = epsg.match(t);
    if (m.hasMatch())
        return m.captured(1).toInt();
    static const QRegularExpression utm(
        QStringLiteral("^WGS\\s*-?\\s*84\\s*(?:/\\s*)?UTM\\s*(?:zone\\s*)?(\\d{1,2})\\s*([NS])$"),
        QRegularExpression::CaseInsensitiveOption);
    m = utm.match(t);
    if (!m.hasMatch())
        return 0;
    const int zone = m.captured(1).toInt();
    if (zone < 1 || zone > 60)
        return 0;
    return (m.captured(2).compare(QLatin1String("S"), Qt::CaseInsensitive) == 0 ? 32700 : 32600) + zone;
}

UtmProjection::UtmProjection(int epsg) : m_code(epsg)
{
    m_context = proj_context_create();
    const QByteArray target = "EPSG:" + QByteArray::number(epsg);
    PJ* raw = proj_create_crs_to_crs(m_context, "EPSG:4326", target.constData(), nullptr);
    if (!raw) {
        m_error = QStringLiteral("unknown reference system EPSG:%1").arg(epsg);
        return;
    }
    // Longitude, latitude in; easting, northing out, whatever the axis order EPSG gives.
    m_transform = proj_normalize_for_visualization(m_context, raw);
    proj_destroy(raw);
    if (!m_transform)
        m_error = QStringLiteral("cannot order the axes of EPSG:%1").arg(epsg);
}

UtmProjection::~UtmProjection()
{
    if (m_transform)
        proj_destroy(m_transform);
    proj_context_destroy(m_context);
}

bool UtmProjection::project(double latitude, double longitude, double* easting, double* northing) const
{
    if (!m_transform || !std::isfinite(latitude) || !std::isfinite(longitude))
        return false;
    const PJ_COORD out = proj_trans(m_transform, PJ_FWD, proj_coord(longitude, latitude, 0, 0));
    if (!std::isfinite(out.xy.x) || !std::isfinite(out.xy.y))
        return false;
    *easting = out.xy.x;
    *northing = out.xy.y;
    return true;
}

bool UtmProjection::geographic(double easting, double northing, double* latitude, double* longitude) const
{
    if (!m_transform || !std::isfinite(easting) || !std::isfinite(northing))
        return false;
    const PJ_COORD out = proj_trans(m_transform, PJ_INV, proj_coord(easting, northing, 0, 0));
    if (!std::isfinite(out.xy.x) || !std::isfinite(out.xy.y))
        return false;
    *longitude = out.xy.x;
    *latitude = out.xy.y;
    return true;
}
