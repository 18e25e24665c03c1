#pragma once

#include <QString>

#include <osg/Vec3d>

#include <cmath>

// The standard deviations the adjustment gives what carries none of its
// own: a surveyed control point, and a photo's GPS position whose EXIF says
// nothing of its fix. Metres, horizontal and vertical; kept in the project.
struct AdjustmentDefaults {
    double controlHorizontal = 0.01;
    double controlVertical = 0.02;
    double gpsHorizontal = 2.0;
    double gpsVertical = 5.0;

    osg::Vec3d controlSigma() const { return {controlHorizontal, controlHorizontal, controlVertical}; }
    osg::Vec3d gpsSigma() const { return {gpsHorizontal, gpsHorizontal, gpsVertical}; }

    bool operator==(const AdjustmentDefaults& o) const
    {
        return controlHorizontal == o.controlHorizontal && controlVertical == o.controlVertical &&
               gpsHorizontal == o.gpsHorizontal && gpsVertical == o.gpsVertical;
    }
    bool operator!=(const AdjustmentDefaults& o) const { return !(*this == o); }

    // A standard deviation is a length above zero.
    static bool valid(double sigma) { return std::isfinite(sigma) && sigma > 0; }
    // Why typed text is no standard deviation (empty when it is one): not a
    // number, zero or below. what names it for the message.
    static QString problem(const QString& text, const QString& what, double* value)
    {
        bool ok = false;
        const double v = text.trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(v))
            return QStringLiteral("%1: '%2' is not a number").arg(what, text.trimmed().left(40));
        if (!(v > 0))
            return QStringLiteral("%1: a standard deviation must be above zero (%2 m given)")
                .arg(what, text.trimmed().left(40));
        *value = v;
        return QString();
    }
};
