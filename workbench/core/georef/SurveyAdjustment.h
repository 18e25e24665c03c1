#pragma once

#include <QString>
#include <QStringList>

#include <osg/Vec3d>

#include <cmath>
#include <functional>
#include <vector>

// Bundle adjustment of a reconstruction in survey coordinates (Ceres
// Solver): camera poses, 3D points and the shared calibrations are refined
// together so that the points land where the photos show them, the camera
// centres stay near their photos' GPS positions and the control points near
// their surveyed coordinates, each as far as its standard deviations allow.
// Reprojection terms take a robust loss, so a stray match cannot pull the
// block; priors do not, so a bad control point shows instead of being
// explained away. Check points are not given to it: they judge the result.
//
// Positions come in and go out in survey coordinates (double); the solver
// works in a local frame (survey minus origin) so that its steps and the
// single-precision files written from the result keep millimetres.
class SurveyAdjustment
{
public:
    // COLMAP's RADIAL camera, as the mapper leaves it: an ideal point
    // (x, y) = (X / Z, Y / Z) of the camera frame (looking down +z, y down)
    // shows at the pixel (cx + f x r, cy + f y r), r = 1 + k1 ρ² + k2 ρ⁴,
    // ρ² = x² + y². Pixels in whatever frame the observations use.
    struct Calibration {
        double focal = 0;
        double cx = 0, cy = 0;
        double k1 = 0, k2 = 0;
        // What the adjustment refines (as COLMAP's mapper: the principal
        // point stays unless asked).
        bool refineFocal = true;
        bool refinePrincipalPoint = false;
        bool refineDistortion = true;
    };

    struct Camera {
        QString name; // the photo, for messages
        int calibration = 0;
        // World (survey axes) into camera axes, unit quaternion w, x, y, z.
        double rotation[4] = {1, 0, 0, 0};
        osg::Vec3d centre; // survey coordinates
        // The photo's GPS position as a prior on the centre.
        bool hasPrior = false;
        osg::Vec3d prior;      // survey coordinates
        osg::Vec3d priorSigma; // metres per axis (east, north, height)
        // False: the prior holds the centre across only (GPS heights in
        // another datum than the survey's).
        bool priorHeight = true;
    };

    struct Point {
        osg::Vec3d position; // survey coordinates
        // A control point: tied to its surveyed coordinates.
        bool control = false;
        QString name;      // of a control point, for messages
        osg::Vec3d survey; // surveyed coordinates
        osg::Vec3d sigma;  // metres per axis
    };

    struct Observation {
        int camera = 0;
        int point = 0;
        double x = 0, y = 0; // pixels
    };

    struct Options {
        double pixelSigma = 1.0; // standard deviation of an image measurement, pixels
        // Solve again with the photos' standard deviation taken from their
        // residuals (their robust spread, at least 0.05 px).
        bool estimatePixelSigma = true;
        double robustPixels = 2.0; // Huber loss beyond this many standard deviations
        // A camera moved farther from its GPS prior than this many standard
        // deviations (on any axis) refuses the result.
        double priorLimit = 5.0;
        int maxIterations = 200;
        int threads = 2;
        // Called after each of the solver's iterations (counted over both
        // solves) with the cost reached; false aborts the adjustment, which
        // then changes nothing.
        std::function<bool(int iteration, double cost)> progress;
    };

    // The defaults of a consumer drone's GPS and of a surveyed control
    // point, metres (horizontal, horizontal, vertical).
    static osg::Vec3d consumerGpsSigma() { return {2.0, 2.0, 5.0}; }
    static osg::Vec3d controlPointSigma() { return {0.01, 0.01, 0.02}; }

    struct Result {
        bool accepted = false; // converged and within every prior
        bool aborted = false;  // Options::progress said to stop
        QString message;       // why not, or a summary
        int iterations = 0;
        double rmsPixels = 0;  // over the observations, after
        double pixelSigma = 0; // the photos' standard deviation the result rests on
        // Per camera: the largest of its centre's distances from its prior
        // in standard deviations, per axis (0 without a prior).
        std::vector<double> priorSigmas;
        QStringList lines; // details for the log
    };

    std::vector<Calibration> calibrations;
    std::vector<Camera> cameras;
    std::vector<Point> points;
    std::vector<Observation> observations;
    // The local frame's origin; unset (NaN) picks siteOrigin().
    osg::Vec3d origin{std::nan(""), std::nan(""), std::nan("")};
    Options options;

    // A point near the site in whole metres: the mean of the control
    // points, else of the priors, else of the cameras.
    osg::Vec3d siteOrigin() const;

    // Why the input cannot be adjusted (empty when it can): a standard
    // deviation of zero or below, a control point seen in fewer than two
    // photos, an index out of range, a focal length of zero or below, no
    // control point nor prior to fix the block in survey coordinates.
    QString problem() const;

    // Adjusts in place. On refusal (bad input, no convergence, a camera
    // beyond its prior) nothing is changed and the result says why.
    Result run();

    // Where the cameras and calibrations as they stand (after run(): as
    // adjusted) put a point the photos show at these pixels (each
    // observation's camera and pixel; its point is ignored): the point whose
    // projections come nearest to them, in survey coordinates. A check point
    // is placed so, through the adjusted lens model itself rather than an
    // approximation of it. False with a reason for fewer than two photos,
    // rays that do not meet in front of them, or an index out of range.
    bool place(const std::vector<Observation>& seen, osg::Vec3d* position, QString* error) const;

    // How far, in pixels (RMS), the cameras and calibrations as they stand
    // show a position from where the photos measured the point: its own
    // place, or its surveyed one for a control point. NaN when no photo
    // measures it.
    double pixelsOf(int point, const osg::Vec3d& position) const;
};
