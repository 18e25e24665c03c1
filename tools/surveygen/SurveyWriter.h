#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "FlightPlan.h"

// Writes a synthetic aerial survey with its truth into a folder:
//   photos/IMG_0001.JPG…   the photos, with EXIF (camera, focal length, GPS)
//   gcp_list.txt           the control targets as drone software reads them
//   truth/site.txt         the site (SiteModel::fromText gives its surface back)
//   truth/cameras.txt      every photo's intrinsics, centre and rotation in survey coordinates
//   truth/targets.txt      the control targets' centres in survey coordinates
//   truth/observations.txt where each photo sees each target
class SurveyWriter
{
public:
    struct Settings {
        FlightPlan::Settings flight;
        double siteWidth = 60, siteDepth = 45, gridSpacing = 0.1;
        std::string system = "EPSG:32633";
        double originEasting = 712000, originNorthing = 4123000, originHeight = 95;
        double gpsNoise = 3;   // metres, horizontal; the height gets half again as much
        int targets = 10;
        bool gps = true;
        std::uint64_t seed = 1;
        // The day of the survey: day 1 is the site as generated, a later day
        // the same site and flight after SiteModel::advanceTo's changes, its
        // photos taken that many days later.
        int day = 1;
    };

    // False with a reason; progress lines go to out.
    static bool write(const Settings& settings, const std::string& folder, std::ostream& out, std::string* error);
};
