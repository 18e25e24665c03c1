#pragma once

#include <QString>

#include <ogr_core.h>

class GDALDataset;
class OGRLayer;
class OGRSpatialReference;

// A vector file written through OGR (a GeoPackage, a DXF drawing) under a
// temporary name beside its place: finish() closes it whole, commit() puts
// it in place; dropped before that, it leaves nothing behind. Results made
// of several files finish all of them before committing any.
class VectorFile
{
public:
    VectorFile() = default;
    ~VectorFile();
    VectorFile(const VectorFile&) = delete;
    VectorFile& operator=(const VectorFile&) = delete;

    // driver is an OGR driver name: "GPKG", "DXF".
    bool create(const QString& path, const char* driver, QString* error);
    // srs may be null (DXF holds none).
    OGRLayer* addLayer(const char* name, OGRwkbGeometryType type, const OGRSpatialReference* srs,
                       QString* error, char** options = nullptr);
    GDALDataset* dataset() const { return m_dataset; }
    bool finish(QString* error);
    bool commit(QString* error);
    // Closes and removes what was written.
    void abandon();

    // A projected system from an EPSG code, axes in easting, northing order;
    // false with the reason.
    static bool systemOf(int epsg, OGRSpatialReference& srs, QString* error);

private:
    QString m_path, m_part;
    GDALDataset* m_dataset = nullptr;
    bool m_finished = false;
};
