#pragma once

#include <string>

// Where a photo was taken, from the GPS tags of the EXIF XML that exiftool
// writes beside it: exiftool's "43 deg 28' 2.81\" N" or plain degrees.
class PhotoPosition
{
public:
    // False when the XML is missing or has no usable latitude and longitude.
    static bool fromXml(const std::string& xml, double& latitude, double& longitude);
    static bool fromXmlFile(const std::string& xmlPath, double& latitude, double& longitude);
};
