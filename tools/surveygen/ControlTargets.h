#pragma once

#include <cstdint>
#include <string>
#include <vector>

class SiteModel;
class SurveyCamera;

// Ground control targets of a survey: black and white checkers of two by two
// squares laid on the ground, their centres measured, and where each photo
// sees them.
class ControlTargets
{
public:
    struct Target {
        std::string name;
        double x, y, z; // local metres
    };
    struct Observation {
        std::string target;
        double x, y; // pixels (top-left corner of the top-left pixel at 0, 0)
    };

    // count targets spread over the site, on level ground clear of the trenches.
    static std::vector<Target> place(const SiteModel& site, int count, double size, std::uint64_t seed);
    // The targets the camera sees whole and unoccluded, at least margin pixels inside the photo.
    static std::vector<Observation> seenBy(const SurveyCamera& camera, const SiteModel& site,
                                           const std::vector<Target>& targets, double margin);
};
