#include "GeoTransform.h"

#include <cmath>

#include <proj.h>

GeoTransform::GeoTransform(const std::string& system)
{
    m_context = proj_context_create();
    PJ* raw = proj_create_crs_to_crs(m_context, system.c_str(), "EPSG:4326", nullptr);
    if (!raw) {
        m_error = "unknown reference system " + system + ": " +
                  proj_context_errno_string(m_context, proj_context_errno(m_context));
        return;
    }
    // Longitude first, latitude second, whatever the axis order EPSG gives.
    m_transform = proj_normalize_for_visualization(m_context, raw);
    proj_destroy(raw);
    if (!m_transform)
        m_error = "cannot order the axes of " + system;
}

GeoTransform::~GeoTransform()
{
    if (m_transform)
        proj_destroy(m_transform);
    proj_context_destroy(m_context);
}

bool GeoTransform::toGeographic(double easting, double northing, double* latitude, double* longitude) const
{
    if (!m_transform)
        return false;
    const PJ_COORD out = proj_trans(m_transform, PJ_FWD, proj_coord(easting, northing, 0, 0));
    if (!std::isfinite(out.xy.x) || !std::isfinite(out.xy.y))
        return false;
    *longitude = out.xy.x;
    *latitude = out.xy.y;
    return true;
}
