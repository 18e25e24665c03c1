#pragma once

#include <QString>

#include <osg/Node>
#include <osg/ref_ptr>

#include <array>
#include <vector>

class PointShift;

// Contour lines in the scene: each line at its survey coordinates and
// height (kept relative to the scene origin through the shift), lifted a
// centimetre so it shows on the elevation model it was drawn from, every
// fifth level drawn darker and wider, as on a printed plan.
class ContourSceneBuilder
{
public:
    using Line = std::vector<std::array<double, 3>>;

    static osg::ref_ptr<osg::Node> build(const std::vector<Line>& lines, PointShift& shift);
    // A contour GeoPackage; null with a reason. epsg receives its system (0 for none).
    static osg::ref_ptr<osg::Node> load(const QString& file, PointShift& shift, QString* error,
                                        int* epsg = nullptr);
};
