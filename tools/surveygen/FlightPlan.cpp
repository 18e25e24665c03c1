#include "FlightPlan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

namespace
{

double wobble(std::mt19937_64& random, double amplitude)
{
    return amplitude * (2 * (double(random() >> 11) * 0x1p-53) - 1);
}

// Turns v about the unit axis by angle (radians).
void turn(double v[3], const double axis[3], double angle)
{
    const double c = std::cos(angle), s = std::sin(angle);
    const double d = axis[0] * v[0] + axis[1] * v[1] + axis[2] * v[2];
    const double x[3] = {axis[1] * v[2] - axis[2] * v[1], axis[2] * v[0] - axis[0] * v[2],
                         axis[0] * v[1] - axis[1] * v[0]};
    for (int i = 0; i < 3; ++i)
        v[i] = v[i] * c + x[i] * s + axis[i] * d * (1 - c);
}

} // namespace

int FlightPlan::obliqueCount(int photos)
{
    return photos >= 12 ? std::max(4, photos / 8) : 0;
}

int FlightPlan::obliqueCount(const Settings& settings)
{
    return settings.nadirOnly ? 0 : obliqueCount(settings.photos);
}

std::vector<SurveyCamera> FlightPlan::plan(const Settings& settings, double siteWidth, double siteDepth)
{
    std::mt19937_64 random(settings.seed * 7919 + 17);
    SurveyCamera model;
    model.width = settings.width;
    model.height = settings.height;
    model.fx = model.fy = settings.focalMillimetres / settings.sensorWidthMillimetres * settings.width;
    model.cx = settings.width / 2.0;
    model.cy = settings.height / 2.0;
    model.k1 = settings.k1;
    model.k2 = settings.k2;

    std::vector<SurveyCamera> cameras;
    const int oblique = obliqueCount(settings);
    const int nadir = settings.photos - oblique;
    // Lines run east-west; as many lines as keep the photo spacing about equal
    // along and across them.
    const int lines = std::max(1, int(std::lround(std::sqrt(nadir * siteDepth / siteWidth))));
    const int perLine = (nadir + lines - 1) / lines;
    int placed = 0;
    for (int line = 0; line < lines && placed < nadir; ++line) {
        const int here = std::min(perLine, nadir - placed);
        const double y = (line + 0.5) * siteDepth / lines;
        const bool east = line % 2 == 0;
        for (int k = 0; k < here; ++k, ++placed) {
            const int along = east ? k : here - 1 - k;
            SurveyCamera c = model;
            c.centre[0] = (along + 0.5) * siteWidth / here + wobble(random, 0.3);
            c.centre[1] = y + wobble(random, 0.3);
            c.centre[2] = settings.altitude + wobble(random, 0.5);
            // Heading along the line: the image's top looks ahead.
            double forward[3] = {0, 0, -1};
            double right[3] = {0, east ? -1.0 : 1.0, 0};
            const double pitchAxis[3] = {right[0], right[1], right[2]};
            double rollAxis[3] = {east ? 1.0 : -1.0, 0, 0};
            turn(forward, pitchAxis, wobble(random, 2 * M_PI / 180));
            turn(forward, rollAxis, wobble(random, 2 * M_PI / 180));
            const double up[3] = {0, 0, 1};
            turn(right, up, wobble(random, 3 * M_PI / 180));
            c.lookAlong(forward, right);
            cameras.push_back(c);
        }
    }
    // The ring: far enough out to see the walls from the side, no flatter than the tilt allows.
    const double radius =
        std::min(0.35 * std::max(siteWidth, siteDepth), settings.altitude * std::tan(settings.obliqueTilt * M_PI / 180));
    for (int k = 0; k < oblique; ++k) {
        const double angle = 2 * M_PI * k / oblique;
        SurveyCamera c = model;
        c.centre[0] = siteWidth / 2 + radius * std::cos(angle);
        c.centre[1] = siteDepth / 2 + radius * std::sin(angle);
        c.centre[2] = settings.altitude + wobble(random, 0.5);
        const double forward[3] = {siteWidth / 2 - c.centre[0], siteDepth / 2 - c.centre[1], -c.centre[2]};
        const double right[3] = {-std::sin(angle), std::cos(angle), 0};
        c.lookAlong(forward, right);
        cameras.push_back(c);
    }
    for (size_t i = 0; i < cameras.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "IMG_%04zu.JPG", i + 1);
        cameras[i].name = name;
    }
    return cameras;
}
