#pragma once

#include <array>
#include <vector>

// The diverging colour ramp of a change between surveys: ground taken away
// in blues, ground added in reds, no change white, from -limit to +limit
// metres (beyond that the ends' colours). The scene drapes it and the legend
// draws it, so both show the same colours.
class ChangeRamp
{
public:
    using Rgba = std::array<unsigned char, 4>;

    // Colour of a change of value metres; NaN (no difference known) is
    // transparent.
    static Rgba colour(double value, double limit);
    // The heights of a difference raster as RGBA bytes, four a cell; grey
    // where no change is known.
    static std::vector<unsigned char> colours(const std::vector<float>& values, double limit);
};
