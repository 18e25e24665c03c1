#pragma once

#include <QSize>
#include <QString>
#include <QVector>

#include <functional>

#include "core/georef/ControlPoint.h"
#include "core/georef/TargetDetector.h"

class GeoReference;
class SparseBundle;

// Finds the control and check points' targets in the photos of a
// georeferenced reconstruction: each point's survey coordinates are carried
// through the georeference into every photo's camera, and where it lands
// inside a photo the detector looks for the checker there. What it finds are
// candidates for the points' observations; what it does not find is refused
// with the reason. Each photo is decoded once, one at a time, for all the
// points it shows.
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
    };
    struct Candidate {
        QString point;
        QString image;
        double column = 0, row = 0; // as ControlObservation counts them
        double score = 0;           // TargetDetector::Result::score
        double shift = 0;           // pixels from the prediction
        bool handMarked = false;    // the point already has an observation in this photo
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
        QString message; // why nothing could be searched; empty otherwise
        QString lensNote; // why the reconstruction's lens companion was not used, if it was not
    };

    // The predictions of every point in every camera of the bundle (all its
    // models) that sees it in front and inside its photo; geo carries model
    // coordinates to survey coordinates. Cameras name their photos through
    // BundleCamera::path.
    static QVector<Prediction> predict(const SparseBundle& bundle, const GeoReference& geo,
                                       const QVector<ControlPoint>& points, const ImageSize& imageSize);

    // The detector at each prediction, photo by photo; points names the hand marks.
    static Outcome search(const QVector<Prediction>& predictions, const QVector<ControlPoint>& points,
                          const TargetDetector& detector, const Progress& progress = {});

    // Reads the reconstruction and its georeference (sparse.txt beside it),
    // then predicts and searches. A reconstruction without a georeference
    // searches nothing and says so.
    static Outcome run(const QString& nvmFile, const QVector<ControlPoint>& points,
                       const ImageSize& imageSize, const TargetDetector::Options& options = {},
                       const Progress& progress = {});
};
