#pragma once

#include <QString>

#include "scene/layers/LayerSummary.h"

// The layer the property windows describe, one record for the program: the
// layer context menu sets it before it opens, the windows read it when they
// are refreshed.
struct PropertySelection {
    int kind = 0;     // 1 general form, 2 position form (point clouds), 3 reconstruction sheet; 0 none
    QString name;     // the layer item's text
    QString kindWord; // "Bundle" for reconstructions
    // What the read-only forms show of the layer.
    QString file;
    QString typeName; // "PointCloud", "Mesh", ...
    // "EPSG:32633": a reconstruction's reference system, named by its georeference; empty when none.
    QString system;
    LayerSummary summary;

    static PropertySelection& global();
};
