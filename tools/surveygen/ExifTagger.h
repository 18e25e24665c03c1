#pragma once

#include <string>
#include <vector>

// Writes the EXIF tags a drone camera leaves (make, model, focal length and
// its 35 mm equivalent, focal-plane resolution, time, GPS position) into many
// photos with one exiftool process, and what a DJI drone's XMP says of where
// the camera looked from: the height above the take-off point and the
// gimbal's pitch and yaw.
class ExifTagger
{
public:
    struct Tags {
        std::string path;
        std::string make, model, time; // time as "YYYY:MM:DD HH:MM:SS"
        double focalMillimetres = 0, focal35 = 0, focalPlanePerMillimetre = 0;
        double latitude = 0, longitude = 0, altitude = 0;
        bool gps = true;
        double heightAboveTakeOff = 0, gimbalPitch = -90, gimbalYaw = 0; // metres, degrees
    };

    // False with exiftool's reason; the argument file goes beside the photos
    // and is removed afterwards.
    static bool write(const std::vector<Tags>& photos, const std::string& argumentFile, std::string* error);
};
