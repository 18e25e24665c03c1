#pragma once

#include <QString>

class ElevationGrid;

// Whether two surveys of the site agree where the ground did not change:
// the median height difference over the cells left after the changed ones
// (those far from the overall median, by a robust spread) are set aside. A
// shift of more than two ground samples means one survey's georeference is
// off in height, and every volume between them with it.
class SurveyAgreement
{
public:
    struct Result {
        double shift = 0;  // median later - earlier on stable ground, metres
        double spread = 0; // robust standard deviation there
        long long stable = 0, changed = 0;
        double limit = 0; // 2 ground samples
        bool agrees = true;
    };

    // False with a reason when the grids share no cell with heights or
    // are in different systems.
    static bool check(const ElevationGrid& earlier, const ElevationGrid& later, double groundSample,
                      Result& out, QString* error);
    // The message for the user, naming both surveys.
    static QString message(const Result& result, const QString& earlier, const QString& later);
};
