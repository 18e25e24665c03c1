#pragma once

#include <QPen>
#include <QRect>
#include <QSet>
#include <QString>
#include <QVector>

#include "core/images/FeatureFile.h"
#include "core/images/ImageSelection.h"

class QPainter;

// Paints an image viewer's feature overlay in image pixels of the unrotated
// photograph: every feature red, the features the reconstruction used white
// inside, the user's image matches (blue when paired, else green for the
// outer ring and yellow for the inner) and the features picked for
// inspection black.
class FeatureOverlay
{
public:
    struct Pens {
        QPen feature; // red, 4
        QPen used;    // white, 2
        QPen paired;  // blue, 4
        QPen outer;   // green, 1
        QPen inner;   // yellow, 1
        QPen picked;  // black, 4
    };

    // Points follow each other in the order above, feature by feature. Runs
    // of points with the same pen are painted together, wide points as filled
    // squares, which gives exactly the pixels of one drawPoints call per
    // point; `perPoint` makes that call for each point instead (the measure
    // the faster way is compared with).
    // `touched` (when given) receives rectangles that cover every pixel painted.
    static void draw(QPainter& painter, const QVector<FeatureRecord>& features, const QSet<int>& used,
                     const ImageSelection& selection, const QString& imageName, const Pens& pens,
                     bool perPoint = false, QVector<QRect>* touched = nullptr);
};
