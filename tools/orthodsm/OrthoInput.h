#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "OrthoOptions.h"
#include "OrthoPhoto.h"
#include "core/georef/GeoReference.h"

// What an orthophoto run starts from, checked before anything is written:
// the NVM reconstruction's first model with its companion file (the
// similarity into survey coordinates and the reference system), the photos
// (present and all of the size the cameras were estimated on) and the dense
// clouds.
class OrthoInput
{
public:
    GeoReference geo;
    int epsg = 0;
    std::vector<OrthoPhoto> photos;
    std::vector<std::string> denseFiles;

    // False with a one-line reason the user can act on.
    bool load(const OrthoOptions& options, std::ostream& progress, std::string& error);

    // A model point in survey coordinates.
    void toSurvey(const double model[3], double survey[3]) const;

    // The dense stage's clouds in a pipeline folder: the PLY files of
    // pmvs/models and cmpmvs/models that the stage made (by its record, or by
    // the names the matchers give them when there is none), sorted.
    static std::vector<std::string> denseClouds(const std::string& folder);

    // True, with the reason, when the georeference or the dense clouds of the
    // folder were made from another reconstruction than nvmPath as it is now.
    static bool staleInput(const std::string& folder, const std::string& nvmPath, std::string& error);
};
