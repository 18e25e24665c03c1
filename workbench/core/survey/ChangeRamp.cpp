#include "core/survey/ChangeRamp.h"

#include <algorithm>
#include <cmath>

namespace
{

// Stops at -1, -0.5, 0, 0.5, 1 of the limit (the red-blue scheme of
// cartography's diverging ramps, readable by the colour-blind).
constexpr unsigned char stops[5][3] = {
    {33, 102, 172}, {103, 169, 207}, {247, 247, 247}, {239, 138, 98}, {178, 24, 43}};

} // namespace

ChangeRamp::Rgba ChangeRamp::colour(double value, double limit)
{
    if (std::isnan(value) || !(limit > 0))
        return {0, 0, 0, 0};
    const double t = (std::clamp(value / limit, -1.0, 1.0) + 1) * 2; // 0 .. 4
    const int i = std::min(3, int(t));
    const double f = t - i;
    Rgba out{0, 0, 0, 255};
    for (int c = 0; c < 3; ++c)
        out[size_t(c)] =
            static_cast<unsigned char>(std::lround(stops[i][c] + f * (stops[i + 1][c] - stops[i][c])));
    return out;
}

std::vector<unsigned char> ChangeRamp::colours(const std::vector<float>& values, double limit)
{
    std::vector<unsigned char> out(values.size() * 4);
    for (size_t i = 0; i < values.size(); ++i) {
        // Draped without blending: where no change is known the surface shows grey.
        const Rgba c = std::isnan(values[i]) ? Rgba{150, 150, 150, 255} : colour(values[i], limit);
        std::copy(c.begin(), c.end(), out.begin() + std::ptrdiff_t(i * 4));
    }
    return out;
}
