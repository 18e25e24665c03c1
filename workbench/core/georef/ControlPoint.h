#pragma once

#include <QString>
#include <QVector>

#include <osg/Vec3d>

#include <cmath>

// Where a photo shows a control point: pixels right and down from the top-left
// corner of the photo's top-left pixel (its centre is 0.5, 0.5), as drone
// software's gcp_list.txt gives them.
struct ControlObservation {
    QString image; // the photo's file name
    double column = 0;
    double row = 0;
};

// A ground control point: its name, its coordinates in the project's
// reference system (surveyed), whether the fit rests on it or only checks
// it, the photos that show it and, after a fit, how far the model put it from
// its surveyed place.
struct ControlPoint {
    QString name;
    osg::Vec3d survey;
    bool check = false; // a check point: compared after the fit, not fitted to
    QVector<ControlObservation> observations;
    double residual = std::nan(""); // metres; NaN until a fit places it
};
