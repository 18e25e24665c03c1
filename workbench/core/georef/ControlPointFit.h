#pragma once

#include <QSize>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <vector>

#include <osg/Vec3d>

#include "core/georef/CameraCalibration.h"
#include "core/georef/ControlPoint.h"
#include "core/georef/SimilarityFit.h"

class BundleCamera;
class SparseBundle;

// Georeferences a reconstruction by ground control points: every point is
// triangulated from its observations with the cameras of the reconstruction
// (the model of the NVM file its photos belong to), a similarity is fitted
// from the triangulated to the surveyed coordinates of the "used" points,
// every point's residual is filled in (in metres, per axis, and in pixels of
// its photos), and the fit is written as the georeference companion file
// (sparse.nvm → sparse.txt). A used point whose residual stands out from the
// others' (a gross error: a mistyped coordinate, another target) is left out
// of the fit and named. A fit that puts the cameras far from their photos'
// GPS, or anything else that keeps it from being trustworthy, is refused
// with a message and writes nothing, so the previous companion stays.
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
        QStringList leftOut; // used points left out as gross errors
        double rms = 0;      // metres, over the used points
        double worstCheck = -1; // metres, largest check-point residual; -1 without check points
        QStringList lines;   // one per point, then the summary: for the log
        QString message;     // the summary, or why nothing was written
        // The similarity found, also when it was not written (write false).
        bool fitted = false;
        SimilarityFit::Result similarity;
        // What the adjustment found of the cameras, per shared calibration
        // (empty after a similarity alone).
        QVector<CameraCalibration> calibrations;

        // The summary's word on the check points and the points left out,
        // each beginning ", " and only when there are any.
        QString checksAndLeftOut() const;
    };

    // Rays closer to parallel than this give a point anywhere along them.
    static constexpr double minimumAngleDegrees = 1.0;

    // A gross error. Good control points agree to millimetres or
    // centimetres (the survey, the pick, the ground sample); a used point is
    // left out when its distance from where the other used points put it
    // exceeds both a decimetre and five times their own RMS residual. The
    // decimetre keeps a centimetre survey's points in; the factor keeps a
    // uniformly coarse one (5 cm ground samples) from losing points to its
    // own noise. With three used points the faulty one cannot be told apart:
    // residuals above the decimetre refuse the fit.
    static constexpr double grossErrorMetres = 0.10;
    static constexpr double grossErrorFactor = 5.0;

    // The cameras against their photos' GPS (exiftool's XML beside each
    // photo): a consumer receiver is within a few metres across and tens of
    // metres in height (ellipsoidal or sea-level heights, a drone's
    // barometric altitude), so a fit whose cameras lie, at the median, more
    // than this far from their fixes has the control points wrong (easting
    // and northing swapped, another zone, a mistyped coordinate).
    static constexpr double gpsAcrossMetres = 30.0;
    static constexpr double gpsHeightMetres = 100.0;

    // The ray of a pixel (corner-origin, as ControlObservation) through a
    // camera of an NVM reconstruction, whose measurements are relative to the
    // photo's centre and carry its radial distortion; through the camera's
    // adjusted lens instead where its intrinsics companion gave one.
    static Ray rayOf(const BundleCamera& camera, double column, double row, const QSize& imageSize);
    // And back: the pixel (corner-origin) a model point lands on; false for
    // a point behind the camera.
    static bool project(const BundleCamera& camera, const osg::Vec3d& point, const QSize& imageSize,
                        double* column, double* row);

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
    // With write false the fit and every check run and the residuals are
    // filled, but nothing is written: the first guess of an adjustment.
    // The same with the reconstruction already read; imageFolder is where
    // its photos lie (ends in "/").
    static Outcome run(const SparseBundle& bundle, const QString& imageFolder, const QString& companionFile,
                       QVector<ControlPoint>& points, const ImageSize& imageSize, int epsg = 0,
                       bool write = true);
};
