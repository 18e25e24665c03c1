#pragma once

#include <string>

// An image's focal length in pixels from the EXIF XML that exiftool -X
// writes beside it (the image path cut at its last "." followed by ".xml"),
// for the bundle adjustment's starting calibration.
class ExifFocal
{
public:
    // 0 when the XML is missing or says too little. Prefers the focal length
    // with the focal plane resolution (scaled to the image's width), then the
    // 35 mm equivalent over the image diagonal.
    static double fromXmlFile(const std::string& xmlPath, int width, int height,
                              std::string* source = nullptr);
    static double fromXml(const std::string& xml, int width, int height, std::string* source = nullptr);

    static std::string xmlPathForImage(const std::string& imagePath);
};
