#pragma once

#include <vector>

#include <osg/Vec3d>

// The accuracy figures of a set of residuals (where the reconstruction puts
// a point less where it was surveyed, dX dY dZ in metres), as the ASPRS
// Positional Accuracy Standards and the NSSDA state them: the RMSE of each
// axis, horizontal (radial) and vertical, and the circular and linear errors
// at 90 % (CE90, LE90) and 95 % (the NSSDA's accuracy figures).
class AccuracyStatistics
{
public:
    // Factors of a normal error at 90 % and 95 %: circular ones per axis
    // (sqrt of the chi-square with two degrees of freedom), linear ones.
    static constexpr double circular90 = 2.1460;
    static constexpr double circular95 = 2.4477;
    static constexpr double linear90 = 1.6449;
    static constexpr double linear95 = 1.9600;
    // The NSSDA's 0.5 (RMSEx + RMSEy) stands for the circular error only
    // while the smaller axis RMSE is at least this part of the larger.
    static constexpr double nearlyCircular = 0.6;

    int count = 0;
    double rmseX = 0, rmseY = 0, rmseZ = 0;
    double rmseHorizontal = 0;              // sqrt(RMSEx^2 + RMSEy^2), the NSSDA's RMSEr
    double rmseVertical = 0;                // RMSEz
    double meanX = 0, meanY = 0, meanZ = 0; // the bias of each axis
    double ce90 = 0, le90 = 0;
    double ce95 = 0, le95 = 0;
    // Whether the circular errors come from the NSSDA's approximation
    // (RMSEmin / RMSEmax of at least 0.6); otherwise they are the exact
    // radius of a normal error with the two axes' RMSEs.
    bool approximated = true;

    // The figures of these residuals; all zero for none.
    static AccuracyStatistics of(const std::vector<osg::Vec3d>& residuals);

    // The radius within which a normal error of standard deviations sx and
    // sy (independent) falls with the given probability.
    static double circularError(double sx, double sy, double probability);
};
