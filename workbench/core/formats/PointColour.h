#pragma once

#include <osg/Vec4>

// Colours of loaded points: file channels 0..255 become 0..1 with alpha 1,
// and points whose file carries no colour are drawn in one grey.
class PointColour
{
public:
    static osg::Vec4 fromBytes(double red, double green, double blue)
    {
        return osg::Vec4(static_cast<float>(red / 255.0), static_cast<float>(green / 255.0),
                         static_cast<float>(blue / 255.0), 1.0f);
    }

    static osg::Vec4 grey() { return osg::Vec4(0.5f, 0.5f, 0.5f, 1.0f); }
};
