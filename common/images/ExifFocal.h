#pragma once

#include <map>
#include <string>

// An image's focal length in pixels from the EXIF XML that exiftool -X
// writes beside it (the image path cut at its last "." followed by ".xml"):
// the bundle adjustment's starting calibration and the accuracy report's
// EXIF focal length (core/images/ExifXmlReader) come out of the same rule.
class ExifFocal
{
public:
    // A focal length outside this many times the photo's longer side is no
    // lens's: it is ignored.
    static constexpr double minimumPerSide = 0.1;
    static constexpr double maximumPerSide = 100;

    // 0 when the XML is missing or says too little. Prefers the focal length
    // with the focal plane resolution (scaled to the image's width), then the
    // 35 mm equivalent over the image diagonal; a value that is not finite or
    // not plausible for the photo's size is passed over for the next. A file
    // that is not exiftool's XML gives 0. `warning` says what was passed over
    // and why (empty when nothing was), for a log line naming the photo.
    static double fromXmlFile(const std::string& xmlPath, int width, int height,
                              std::string* source = nullptr, std::string* warning = nullptr);
    static double fromXml(const std::string& xml, int width, int height, std::string* source = nullptr,
                          std::string* warning = nullptr);
    // The same from the values already read, by exiftool's tag names
    // ("FocalLength", "FocalPlaneXResolution", "FocalPlaneResolutionUnit",
    // "ExifImageWidth", "ExifImageHeight", "Orientation",
    // "FocalLengthIn35mmFormat", "FocalLength35efl"); source names the one
    // used ("focal length and focal plane resolution", "35 mm equivalent
    // focal length").
    static double fromValues(const std::map<std::string, std::string>& values, int width, int height,
                             std::string* source = nullptr, std::string* warning = nullptr);

    // The camera the EXIF names: its make and model ("Canon Canon PowerShot
    // A10"), empty when it names none or the file is missing or not
    // exiftool's XML. Photos of one camera, size and focal length share one
    // calibration in the reconstruction.
    static std::string cameraFromXmlFile(const std::string& xmlPath);
    static std::string cameraFromXml(const std::string& xml);

    // Where exiftool's XML of a photo lies, for the tools and the workbench
    // alike: beside it, its name with ".xml" for the suffix (a dot in a
    // folder's name is no suffix).
    static std::string xmlPathForImage(const std::string& imagePath);
};
