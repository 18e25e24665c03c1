#pragma once

#include <QString>

#include <cmath>
#include <limits>

// The volume measured for a locus outline, as its record keeps it and the
// day files, the project and the GIS export carry it: cut and fill in cubic
// metres (both positive), net = fill - cut, the uncertainty of each from the
// elevation models' vertical accuracy over the area, and how it was measured.
struct RecordVolume {
    QString method; // "" while the outline has no volume
    double cut = std::numeric_limits<double>::quiet_NaN();
    double fill = std::numeric_limits<double>::quiet_NaN();
    double net = std::numeric_limits<double>::quiet_NaN();
    double uncertainty = std::numeric_limits<double>::quiet_NaN(); // one standard deviation, m³
    double area = std::numeric_limits<double>::quiet_NaN();        // plan area, m²

    bool isSet() const { return !method.isEmpty(); }
};
