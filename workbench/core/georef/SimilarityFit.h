#pragma once

#include <QString>

#include <vector>

#include <osg/Matrixd>
#include <osg/Vec3d>

// The similarity (uniform scale, rotation, translation) that carries one set
// of points onto another, to = t + s (R from), in the least-squares sense
// (Horn's closed form with unit quaternions), and a robust form that leaves
// gross outliers (a bad GPS fix, a mistyped control point) out of the fit.
class SimilarityFit
{
public:
    struct Result {
        osg::Matrixd rotation; // the upper 3 x 3 holds R, row by row
        osg::Vec3d translation;
        double scale = 1;
        std::vector<bool> used;        // which pairs the fit rests on
        std::vector<double> residuals; // |to - fitted from| per pair
        double rms = 0;                // over the used pairs

        osg::Vec3d apply(const osg::Vec3d& p) const;
    };

    // False with a reason for fewer than three pairs, sets of different sizes,
    // or points that lie on one line (no rotation follows from them).
    static bool fit(const std::vector<osg::Vec3d>& from, const std::vector<osg::Vec3d>& to, Result* result,
                    QString* error);
    // Least median of squares over triples of pairs, then a least-squares fit
    // to the pairs within a few robust deviations of it. Needs three pairs and
    // at least half of them consistent.
    static bool robustFit(const std::vector<osg::Vec3d>& from, const std::vector<osg::Vec3d>& to, Result* result,
                          QString* error);
};
