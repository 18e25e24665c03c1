#pragma once

#include <array>
#include <vector>

// The similarity (scale, rotation, translation) that best carries one set of
// points onto another in the least-squares sense (Horn's closed form with
// unit quaternions), for comparing reconstructions made in different frames:
// camera centres of two runs, or of a run and a reference.
class SimilarityAlignment
{
public:
    using Point = std::array<double, 3>;

    double scale = 1;
    std::array<double, 9> rotation{1, 0, 0, 0, 1, 0, 0, 0, 1}; // row-major
    Point translation{};

    // False with fewer than three pairs or when the points lie on one spot.
    bool estimate(const std::vector<Point>& from, const std::vector<Point>& to);
    Point apply(const Point& p) const;

    // Root mean square distance between the carried points and their targets.
    double rmsError(const std::vector<Point>& from, const std::vector<Point>& to) const;
    // The same over the mean distance of the targets from their middle, a
    // figure that does not depend on the targets' unit; -1 when no
    // similarity can be estimated.
    static double relativeMisfit(const std::vector<Point>& from, const std::vector<Point>& to);
};
