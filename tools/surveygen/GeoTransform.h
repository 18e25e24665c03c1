#pragma once

#include <string>

typedef struct pj_ctx PJ_CONTEXT;
typedef struct PJconsts PJ;

// Survey coordinates of one reference system (e.g. "EPSG:32633") to WGS 84
// latitude and longitude, through PROJ.
class GeoTransform
{
public:
    explicit GeoTransform(const std::string& system);
    ~GeoTransform();
    GeoTransform(const GeoTransform&) = delete;
    GeoTransform& operator=(const GeoTransform&) = delete;

    bool valid() const { return m_transform != nullptr; }
    const std::string& error() const { return m_error; }
    // Easting and northing to degrees; false when PROJ cannot.
    bool toGeographic(double easting, double northing, double* latitude, double* longitude) const;

private:
    PJ_CONTEXT* m_context = nullptr;
    PJ* m_transform = nullptr;
    std::string m_error;
};
