#pragma once

#include <vector>

#include "DominantPlane.h"
#include "MvsScene.h"
#include "PlaneSweep.h"

// For one reference view: the neighbours to match it with, ranked by the
// sparse points they share with it, each weighted by the angle under which
// the two views see it (too flat an angle gives no depth, too steep a one
// little likeness); and the range of depths to search, from the depths of the
// points the reference sees, with a margin. When the scene has a dominant
// plane that the reference sees at a slant, planes parallel to it are swept
// too, over the distances of the reference's points from its centre.
class ViewSelector
{
public:
    struct Choice {
        std::vector<int> neighbours;
        double nearDepth = 0;
        double farDepth = 0;
        std::vector<PlaneSweep::Family> families;
        bool usable() const { return !neighbours.empty() && nearDepth > 0 && farDepth > nearDepth; }
    };

    // cameras: the scene's views with their image sizes known (at any
    // level); candidates: the views that may serve (the reference itself is
    // skipped).
    static Choice choose(const MvsScene& scene, const std::vector<MvsCamera>& cameras, int reference,
                         const std::vector<int>& candidates, int maxNeighbours,
                         const DominantPlane* plane = nullptr);
    // Weight of a point seen under this angle (degrees) by two views.
    static double angleWeight(double degrees);
};
