#pragma once

#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <vector>

#include <osg/Vec3d>

#include "core/georef/ControlPoint.h"
#include "core/georef/SimilarityFit.h"

class BundleCamera;
class SparseBundle;

// Georeferences a reconstruction by ground control points: every point is
// triangulated from its observations with the cameras of the reconstruction
// (the model of the NVM file its photos belong to), a similarity is fitted
// from the triangulated to the surveyed coordinates of the "used" points,
// every point's residual is filled in, and the fit is written as the
// georeference companion file (sparse.nvm → sparse.txt). Anything that keeps
// the fit from being trustworthy refuses it with a message and writes
// nothing, so the previous companion stays.
class ControlPointFit
{
public:
    // The size in pixels of a photo, by its full path (the caller reads it;
    // the core reads no images). An empty size fails the observation.
    using ImageSize = std::function<QSize(const QString& path)>;

    struct Ray {
        osg::Vec3d origin;
        osg::Vec3d direction; // unit
        double focal = 1;     // pixels, to turn an angle into a pixel error
    };

    struct Outcome {
        bool written = false;
        int model = -1;      // of the NVM file, 0-based
        int used = 0;        // used points the fit rests on
        double rms = 0;      // metres, over the used points
        double worstCheck = -1; // metres, largest check-point residual; -1 without check points
        QStringList lines;   // one per point, then the summary: for the log
        QString message;     // the summary, or why nothing was written
    };

    // Rays closer to parallel than this give a point anywhere along them.
    static constexpr double minimumAngleDegrees = 1.0;

    // The ray of a pixel (corner-origin, as ControlObservation) through a
    // camera of an NVM reconstruction, whose measurements are relative to the
    // photo's centre and carry its radial distortion.
    static Ray rayOf(const BundleCamera& camera, double column, double row, const QSize& imageSize);

    // The point nearest to all rays (each weighted by its distance, so the
    // error minimised is the angle each photo sees); false with a reason for
    // fewer than two rays, rays that meet at less than the minimum angle, or
    // a point behind a camera. pixelError gets the largest miss in pixels.
    static bool triangulate(const std::vector<Ray>& rays, osg::Vec3d* point, double* pixelError,
                            QString* error);

    // Reads nvmFile, fits and writes its companion file. The points'
    // residuals are filled on success and left as they were otherwise. epsg,
    // the code of the points' reference system, is written with the fit so
    // that rasters made from the reconstruction carry it (0: none known).
    static Outcome run(const QString& nvmFile, QVector<ControlPoint>& points, const ImageSize& imageSize,
                       int epsg = 0);
    // The same with the reconstruction already read; imageFolder is where
    // its photos lie (ends in "/").
    static Outcome run(const SparseBundle& bundle, const QString& imageFolder, const QString& companionFile,
                       QVector<ControlPoint>& points, const ImageSize& imageSize, int epsg = 0);
};
