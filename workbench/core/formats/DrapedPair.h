#pragma once

#include <QString>

// The two GeoTIFFs one terrain layer is made of, as OrthoDsm leaves them in
// one folder: the elevation model (dsm.tif) and the orthophoto draped on it
// (orthophoto.tif). Opening either gives the same mesh, so the pair, not the
// file opened, says which mesh a layer draws.
class DrapedPair
{
public:
    static QString dsmName() { return QStringLiteral("dsm.tif"); }
    static QString orthophotoName() { return QStringLiteral("orthophoto.tif"); }

    QString dsm;   // the elevation model; empty when there is none to drape on
    QString ortho; // the image it wears; empty for a grey mesh
    // A change between two surveys, worn in a diverging ramp from
    // -rampLimit to +rampLimit metres in place of the orthophoto; dsm is
    // then the later survey's elevation model the file names.
    QString difference;
    double rampLimit = 0;

    // The GeoTIFF metadata items that make a raster of heights a difference
    // of two surveys, the surface it is draped on (relative to its folder)
    // and the metres its ramp spans either way.
    static const char* differenceKey() { return "ORVALIS_DIFFERENCE"; }
    static const char* surfaceKey() { return "ORVALIS_SURFACE"; }
    static const char* rampKey() { return "ORVALIS_RAMP_LIMIT"; }

    // The pair that opening file shows: an elevation model with the
    // orthophoto beside it, or an image with the elevation model beside it.
    // Only the headers are read. Both empty, with the reason, for a file
    // that is neither.
    static DrapedPair of(const QString& file, QString* error = nullptr);

    // Names both files as cleaned absolute paths, so two ways of naming the
    // same pair compare equal; empty without an elevation model.
    QString key() const;
};
