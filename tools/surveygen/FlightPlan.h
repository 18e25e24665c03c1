#pragma once

#include <cstdint>
#include <vector>

#include "SurveyCamera.h"

// The photos of a drone survey over a site: a nadir lawnmower flight in
// serpentine lines over the whole site, then an oblique ring looking at its
// centre (unless the flight is nadir only), with the small attitude and
// height wobble of a real flight.
class FlightPlan
{
public:
    struct Settings {
        int photos = 16;
        int width = 1600, height = 1200;
        // A one-inch-sensor drone camera: 8.8 mm on a 13.2 mm wide sensor.
        double focalMillimetres = 8.8, sensorWidthMillimetres = 13.2;
        double altitude = 40;        // above the site's zero
        double obliqueTilt = 35;     // degrees from nadir, at most
        bool nadirOnly = false;      // no oblique ring
        // The lens's radial distortion (SurveyCamera's k1, k2); the EXIF does not tell it.
        double k1 = 0, k2 = 0;
        std::uint64_t seed = 1;
    };

    // Photos named IMG_0001.JPG… in flight order.
    static std::vector<SurveyCamera> plan(const Settings& settings, double siteWidth, double siteDepth);
    static int obliqueCount(int photos);
    static int obliqueCount(const Settings& settings);
};
