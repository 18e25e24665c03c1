#pragma once

#include <QString>

#include <cmath>

class QIODevice;

// The GPS position exiftool's "-X" XML holds for a photo: latitude and
// longitude in degrees (south and west negative) and the altitude in metres,
// whether exiftool wrote them as "43 deg 28' 2.81\"" or as plain numbers.
// The one reader of photo positions: the workbench's georeference and the
// matcher's choice of pairs both read through it.
class ExifGps
{
public:
    struct Position {
        double latitude = 0, longitude = 0, altitude = 0;
        bool hasAltitude = false;
        // What the receiver says of its fix, NaN when it says nothing:
        // standard deviations in metres (DJI's RtkStdLon, RtkStdLat,
        // RtkStdHgt; EXIF's GPSHPositioningError for both horizontal axes)
        // and whether it had an RTK fixed solution (DJI's RtkFlag 50).
        double sigmaEast = std::nan(""), sigmaNorth = std::nan(""), sigmaHeight = std::nan("");
        bool rtkFixed = false;
        // Where a DJI drone's XMP says the camera looked from: its height
        // above the take-off point in metres (RelativeAltitude) and the
        // gimbal's pitch (-90 straight down) and yaw (clockwise from north)
        // in degrees. NaN when the photo does not say.
        double heightAboveTakeOff = std::nan(""), gimbalPitch = std::nan(""), gimbalYaw = std::nan("");
    };

    // False when the file holds no usable position; error says why. A
    // position of exactly 0, 0 is what cameras write without a fix: no
    // position. Elements are matched by their local name, with or without
    // a declared namespace; the GPS group's own tags win over the composite
    // ones.
    static bool read(QIODevice& device, Position* position, QString* error);
    static bool readFile(const QString& path, Position* position, QString* error);
    // Where exiftool's XML of a photo lies: beside it, under the photo's name
    // with ".xml" for its suffix.
    static QString xmlPathOf(const QString& photo);

    // "43 deg 28' 2.81\" N", "43 deg 28.5'", "43.4674", "-11.5" → degrees;
    // NaN when unreadable. Only decimal numbers; a sign only before the
    // degrees, never with a hemisphere letter; minutes and seconds in [0, 60).
    static double parseDegrees(const QString& text);
};
