#pragma once

#include <osg/BoundingSphere>
#include <osg/Node>

// The bounding sphere of a subtree in double precision. The scene-graph
// library keeps its bounds as floats, which at survey coordinates
// (y = 4123456) are 25 cm coarse; views framed on them would miss the site's
// centre and jump between layers. Groups and transforms are bounded the way
// the library bounds them, in double; leaves (whose coordinates are small,
// relative to their transforms) give their own bounds.
class SceneBound
{
public:
    static osg::BoundingSphered of(const osg::Node& node);
};
