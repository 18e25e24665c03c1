#pragma once

#include <QSize>
#include <QString>
#include <QVector>

#include <functional>

#include "core/georef/ControlPoint.h"
#include "core/georef/TargetDetector.h"

#include <osg/Vec3d>

class GeoReference;
class SparseBundle;

// Finds the control and check points' targets in the photos of a
// georeferenced reconstruction: each point's survey coordinates are carried
// through the georeference into every photo's camera, and where it lands
// inside a photo the detector looks for the checker there. What it finds are
// candidates for the points' observations; what it does not find is refused
// with the reason. Each photo is decoded once, one at a time, for all the
// points it shows.
//
// A georeference from the photos' GPS alone puts the targets metres from
// where the photos show them, many times the usual window. So run() searches
// twice: first in windows as wide as such a georeference may be wrong, taking
// the checker nearest each prediction; the points found consistently in two
// or more photos are triangulated and tell how far off the georeference is
// (a similarity from three points, a shift from fewer); then every photo is
// searched again, in the usual window, where the corrected georeference puts
// the targets. Only the second search's finds are candidates.
class TargetSearch
{
public:
    // The size in pixels of a photo, by its full path (empty: unreadable).
    using ImageSize = std::function<QSize(const QString& path)>;
    // Called after each photo; false stops the search.
    using Progress = std::function<bool(int done, int total)>;

    // Where a point should show in a photo.
    struct Prediction {
        QString point;
        QString path;  // the photo's full path
        QString image; // its file name, as observations name it
        double column = 0, row = 0;
        double reach = 0;           // half the side of the window searched, pixels; 0: the detector's own
        int model = 0, camera = -1; // of the bundle, -1: none named
        QSize size;                 // of the photo
    };
    struct Candidate {
        QString point;
        QString image;
        double column = 0, row = 0; // as ControlObservation counts them
        double score = 0;           // TargetDetector::Result::score
        double shift = 0;           // pixels from the prediction
        bool handMarked = false;    // the point already has an observation in this photo
        int prediction = -1;        // of the predictions searched
    };
    struct Refusal {
        QString point;
        QString image;
        double column = 0, row = 0; // the prediction
        QString reason;
    };
    struct Outcome {
        QVector<Candidate> candidates;
        QVector<Refusal> refusals;
        int photos = 0; // photos searched
        bool stopped = false;
        QString message;    // why nothing could be searched; empty otherwise
        QString lensNote;   // why the reconstruction's lens companion was not used, if it was not
        QString correction; // what the first, wide search found of the georeference's error
    };

    // How far a georeference may put a target from its place: a consumer
    // GPS's three standard deviations (2 m across, 5 m in height, as the
    // adjustment assumes), metres. A target found nearer than this to another
    // point's prediction could be taken for it, so survey targets lie farther
    // apart than this in practice.
    static constexpr double expectedAcross = 6.0;
    static constexpr double expectedHeight = 15.0;
    // Survey coordinates into the model's, as a georeference (or a corrected
    // one) places them.
    using ModelOf = std::function<osg::Vec3d(const osg::Vec3d& survey)>;

    // The predictions of every point in every camera of the bundle (all its
    // models) that sees it in front and inside its photo; geo carries model
    // coordinates to survey coordinates. Cameras name their photos through
    // BundleCamera::path.
    static QVector<Prediction> predict(const SparseBundle& bundle, const GeoReference& geo,
                                       const QVector<ControlPoint>& points, const ImageSize& imageSize);
    // The same through any placement; with across or height above zero each
    // prediction's reach is how far in the photo the point moves when its
    // survey coordinates move that far (at most a third of the photo).
    static QVector<Prediction> predict(const SparseBundle& bundle, const ModelOf& modelOf,
                                       const QVector<ControlPoint>& points, const ImageSize& imageSize,
                                       double across = 0, double height = 0);

    // What the finds of a first search say of the georeference: each point
    // found in two or more photos whose rays meet within a few pixels is
    // triangulated, and where geo puts it is compared with its survey
    // coordinates. The placement returned corrects geo by the robust
    // similarity of three or more such points, by their median shift when
    // fewer; it is geo's own when none was found. similarity says which.
    struct Correction {
        ModelOf modelOf;
        bool similarity = false;
        int points = 0;   // points the correction rests on
        double error = 0; // metres: the RMS distance geo put them from their survey coordinates
        QString note;     // for the log
    };
    static Correction correct(const SparseBundle& bundle, const GeoReference& geo,
                              const QVector<ControlPoint>& points, const QVector<Prediction>& searched,
                              const QVector<Candidate>& found);

    // The detector at each prediction (in the prediction's reach, taking the
    // nearest checker, where it has one), photo by photo; points names the
    // hand marks.
    static Outcome search(const QVector<Prediction>& predictions, const QVector<ControlPoint>& points,
                          const TargetDetector& detector, const Progress& progress = {});

    // Reads the reconstruction and its georeference (sparse.txt beside it),
    // then predicts and searches twice (see above); progress counts the
    // photos of both searches. A reconstruction without a georeference
    // searches nothing and says so.
    static Outcome run(const QString& nvmFile, const QVector<ControlPoint>& points,
                       const ImageSize& imageSize, const TargetDetector::Options& options = {},
                       const Progress& progress = {});
};
