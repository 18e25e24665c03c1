#pragma once

#include <QString>

typedef struct pj_ctx PJ_CONTEXT;
typedef struct PJconsts PJ;

// WGS 84 latitude and longitude into a projected reference system (a UTM
// zone, a national grid) through PROJ, and the names surveyors give those
// systems ("EPSG:32633", "WGS84 UTM 33N").
class UtmProjection
{
public:
    // The EPSG code of the UTM zone (WGS 84) that holds a longitude: 326zz in
    // the north, 327zz in the south.
    static int zoneCode(double latitude, double longitude);
    // "EPSG:32633", "epsg:32633", "WGS84 UTM 33N", "WGS 84 / UTM zone 33N" → 32633;
    // 0 for a text that names none of these.
    static int parseSystem(const QString& text);

    explicit UtmProjection(int epsg);
    ~UtmProjection();
    UtmProjection(const UtmProjection&) = delete;
    UtmProjection& operator=(const UtmProjection&) = delete;

    bool valid() const { return m_transform != nullptr; }
    const QString& error() const { return m_error; }
    int code() const { return m_code; }

    // Degrees to easting and northing; false when PROJ cannot.
    bool project(double latitude, double longitude, double* easting, double* northing) const;
    // And back.
    bool geographic(double easting, double northing, double* latitude, double* longitude) const;

private:
    PJ_CONTEXT* m_context = nullptr;
    PJ* m_transform = nullptr;
    int m_code = 0;
    QString m_error;
};
