#pragma once

#include <QString>
#include <QVector>

#include "core/annotation/AnnotationRecord.h"

// The field records as a GIS reads them: a GeoPackage with a layer "finds"
// (3D points) and a layer "contexts" (3D polygons, with their volumes) in the
// project's reference system, every attribute a typed field of its own:
// numbers as integers or reals where every record's value is one, the day
// layer's name and the record's date as text. QGIS and QField open it as it
// is; the KML day files stay as the workbench reads them.
class RecordsGeoPackage
{
public:
    struct Layer {
        QString name; // the day layer's name, "2026-06-12_sf.kml"
        QVector<AnnotationRecord> records;
    };

    // False with a reason (and no file) for an unknown or unprojected
    // system or nothing to write; skipped counts records without a usable
    // geometry.
    static bool write(const QString& path, int epsg, const QVector<Layer>& finds,
                      const QVector<Layer>& contexts, QString* error, int* skipped = nullptr);
};
