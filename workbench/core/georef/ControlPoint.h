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
    // How far the surveyed coordinates may be from the truth (one standard
    // deviation, metres), as the control file or the dock gave them; NaN:
    // the project's default for control points.
    double sigmaHorizontal = std::nan("");
    double sigmaVertical = std::nan("");
    // Per axis (east, north, height): the point's own, else the defaults'.
    osg::Vec3d sigma(const osg::Vec3d& defaults) const
    {
        const double h = std::isfinite(sigmaHorizontal) ? sigmaHorizontal : defaults.x();
        return {h, std::isfinite(sigmaHorizontal) ? sigmaHorizontal : defaults.y(),
                std::isfinite(sigmaVertical) ? sigmaVertical : defaults.z()};
    }

    // The figures of the last fit; NaN until a fit places the point.
    double residual = std::nan(""); // metres, |offset|
    // Where the fitted model puts the point less its surveyed place (dX, dY, dZ), metres.
    osg::Vec3d offset{std::nan(""), std::nan(""), std::nan("")};
    // The surveyed point carried into the photos by the fit: how far (RMS,
    // pixels) it lands from where the photos show it.
    double pixels = std::nan("");
    // A used point the last fit left out: its residual stood out from the others'.
    bool leftOut = false;

    bool hasFit() const { return std::isfinite(residual); }
    void clearFit()
    {
        residual = pixels = std::nan("");
        offset = osg::Vec3d(std::nan(""), std::nan(""), std::nan(""));
        leftOut = false;
    }

    // Why a point or photo name cannot be kept (empty when it can): a name
    // travels into the project file, whose XML holds no control characters.
    static QString nameProblem(const QString& name);
    // The name without the characters nameProblem() objects to, trimmed.
    static QString cleanName(const QString& name);
};
