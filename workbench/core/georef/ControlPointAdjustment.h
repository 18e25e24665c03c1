#pragma once

#include <QString>
#include <QVector>

#include <osg/Vec3d>

#include "core/georef/AdjustmentDefaults.h"
#include "core/georef/ControlPoint.h"
#include "core/georef/ControlPointFit.h"
#include "core/georef/ExifGps.h"
#include "core/georef/SurveyAdjustment.h"

// "Fit to Control Points": the similarity of ControlPointFit as the first
// guess, then a bundle adjustment in survey coordinates (SurveyAdjustment)
// of the reconstruction the control points' photos belong to, with the
// photos' GPS positions as priors on the camera centres and the used control
// points tied to their surveyed coordinates, each by its own standard
// deviations or else the settings'. Check points take no part; they
// are placed afterwards by the adjusted cameras and measured.
//
// The adjusted model is written back into the NVM file in a local frame
// (survey coordinates less an origin near the site, in whole metres, so the
// file's single-precision points keep millimetres), and the companion file
// carries the origin as its translation (identity rotation, unit scale), so
// everything that places the reconstruction by its companion follows. Any
// refusal writes nothing: the previous NVM and companion stay.
class ControlPointAdjustment
{
public:
    struct Settings {
        osg::Vec3d gpsSigma = SurveyAdjustment::consumerGpsSigma();
        // A photo whose EXIF says RTK fixed, without standard deviations.
        osg::Vec3d rtkSigma{0.05, 0.05, 0.10};
        osg::Vec3d controlSigma = SurveyAdjustment::controlPointSigma();
        SurveyAdjustment::Options options;

        // The project's defaults for control points and consumer GPS.
        static Settings from(const AdjustmentDefaults& defaults)
        {
            Settings s;
            s.gpsSigma = defaults.gpsSigma();
            s.controlSigma = defaults.controlSigma();
            return s;
        }
    };

    // As ControlPointFit::run: the points' residuals are filled on success.
    static ControlPointFit::Outcome run(const QString& nvmFile, QVector<ControlPoint>& points,
                                        const ControlPointFit::ImageSize& imageSize, int epsg = 0);
    static ControlPointFit::Outcome run(const QString& nvmFile, QVector<ControlPoint>& points,
                                        const ControlPointFit::ImageSize& imageSize, int epsg,
                                        const Settings& settings);

    // The standard deviations of a photo's GPS position: what its EXIF
    // says of the fix (per axis; a horizontal one alone gives the height the
    // settings' ratio of height to horizontal), else RTK's when it had a
    // fixed solution, else the settings' consumer GPS.
    static osg::Vec3d priorSigma(const ExifGps::Position& gps, const Settings& settings);

};
