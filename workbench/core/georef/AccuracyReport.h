#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cmath>
#include <functional>

#include <osg/Vec3d>

#include "core/georef/AccuracyStatistics.h"
#include "core/georef/CameraCalibration.h"
#include "core/georef/ControlPoint.h"

class QSize;

// What a reconstruction and its georeference are worth, as the accuracy
// report states it: the photos used and registered, the ground sample and
// the area, the time each stage took, the cameras against their photos' GPS,
// the control and check points with their residuals and statistics (check
// points never enter a fit: theirs are the figures to trust), the
// reprojection errors, how many photos see each cell of the ground, and the
// calibration found against the EXIF's. Kept as report/accuracy.json in the
// pipeline folder, every number in its shortest round-trip text.
class AccuracyReport
{
public:
    using ImageSize = std::function<QSize(const QString& path)>;

    struct Input {
        QString nvmFile;
        QString method; // how the georeference was made: "GPS", "control points"
        // The dock's points; those the fit gave no figures (a GPS
        // georeference) are placed from their photos when imageSize is given.
        QVector<ControlPoint> points;
        ImageSize imageSize;
        int model = 0; // of the NVM file
        // What the adjustment found of the cameras (ControlPointFit::Outcome);
        // empty: the NVM file's focal length and radial term stand for it.
        QVector<CameraCalibration> calibrations;
    };

    struct Stage {
        QString name;
        double seconds = 0;
    };
    struct Camera {
        QString photo;
        osg::Vec3d position;                // where the georeference puts it
        osg::Vec3d residual{NAN, NAN, NAN}; // position less the GPS fix; NaN without one
    };
    struct Point {
        QString name;
        QString role; // "control", "check", "left out", "not placed"
        osg::Vec3d survey;
        osg::Vec3d residual{NAN, NAN, NAN};
        double pixels = NAN;
        int photos = 0;
        double horizontal() const;
        double vertical() const { return residual.z(); }
    };
    struct Histogram {
        int count = 0;
        double mean = 0, rms = 0, median = 0, max = 0;
        double binWidth = 0; // pixels; the last bin also holds everything beyond it
        QVector<int> counts;
    };
    // Photos per ground cell over the sparse points' extent: a photo counts
    // for a cell when the cell's centre lies inside its footprint, its
    // edges carried through its camera (focal length and radial term) onto
    // the level of the sparse points' median height. Row 0 is the southern
    // row, cells west to east.
    struct Overlap {
        double originX = 0, originY = 0; // the south-west corner
        double cell = 0;
        int columns = 0, rows = 0;
        QVector<int> photos;
        int seen = 0;           // cells seen by one photo or more
        int fewerThanThree = 0; // of those, cells seen by one or two
        int at(int column, int row) const { return photos[row * columns + column]; }
    };
    struct Calibration {
        double focalPixels = 0; // median over the registered cameras
        double focalSpread = 0; // their smallest to largest, as a part of the median
        double radial = 0;      // the NVM's one distortion term, median
        QString exifFocal;      // the first photo's EXIF focal length as exiftool wrote it
        QString camera;         // make and model
        // The calibration found (the adjustment's shared one of most photos,
        // else the NVM's median focal length and radial term in k1, k2 with
        // the principal point at the photo's centre) against the EXIF's
        // (focal length in pixels, the photo's centre, no distortion).
        CameraCalibration found;
        QString foundSource; // "adjustment", "reconstruction"
        CameraCalibration exif;
        QString exifSource; // which EXIF values gave the focal length; empty without one
    };

    QString method;
    QString made; // ISO date and time
    int epsg = 0;
    bool georeferenced = false; // a companion file placed the reconstruction
    int photosListed = -1;      // -1: not known (no record of the sparse run)
    int photosRegistered = 0;
    double groundSample = 0; // metres per pixel, median over the cameras
    double area = 0;         // square metres of the cells the photos see
    QVector<Stage> stages;
    QVector<Camera> cameras;
    AccuracyStatistics gps;
    QVector<Point> points;
    AccuracyStatistics control;
    AccuracyStatistics check;
    Histogram reprojection;
    Overlap overlap;
    Calibration calibration;

    // Cells of the overlap map along the longer side of the site.
    static constexpr int overlapCells = 40;
    static constexpr int histogramBins = 20;
    // Points along each side of a photo carried onto the ground for its footprint.
    static constexpr int footprintSteps = 8;

    // "<folder>/report/accuracy.json", "...html"; the stage times a run
    // recorded, "<folder>/records/stages.txt".
    static QString jsonFile(const QString& pipelineFolder);
    static QString htmlFile(const QString& pipelineFolder);
    static QString stagesFile(const QString& pipelineFolder);
    // Lines "<seconds> <stage name>" written atomically; false with the reason.
    static bool writeStages(const QString& pipelineFolder, const QVector<Stage>& stages, QString* error);
    static QVector<Stage> readStages(const QString& pipelineFolder);

    // Reads the NVM file, its companion and what lies beside it; false with
    // the reason when the reconstruction cannot be read.
    static bool build(const Input& input, AccuracyReport* out, QString* error);

    QJsonObject toJson() const;
    // Writes report/accuracy.json atomically; false with the reason.
    bool writeJson(const QString& pipelineFolder, QString* error) const;
};
