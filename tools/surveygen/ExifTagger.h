#pragma once

#include <string>
#include <vector>

// Writes the EXIF tags a drone camera leaves (make, model, focal length and
// its 35 mm equivalent, focal-plane resolution, time, GPS position) into many
// photos with one exiftool process.
class ExifTagger
{
public:
    struct Tags {
        std::string path;
        std::string make, model, time; // time as "YYYY:MM:DD HH:MM:SS"
        double focalMillimetres = 0, focal35 = 0, focalPlanePerMillimetre = 0;
        double latitude = 0, longitude = 0, altitude = 0;
        bool gps = true;
    };

    // False with exiftool's reason; the argument file goes beside the photos
    // and is removed afterwards.
    static bool write(const std::vector<Tags>& photos, const std::string& argumentFile, std::string* error);
};
