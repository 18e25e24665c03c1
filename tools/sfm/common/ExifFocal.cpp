#include "ExifFocal.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>

namespace
{

// Text of the first element of each local name ("ExifIFD:FocalLength" and
// "Canon:FocalLength" are both "FocalLength"; the first one wins).
std::map<std::string, std::string> elements(const std::string& xml)
{
    std::map<std::string, std::string> found;
    size_t p = 0;
    while ((p = xml.find('<', p)) != std::string::npos) {
        const size_t close = xml.find('>', p);
        if (close == std::string::npos)
            break;
        std::string tag = xml.substr(p + 1, close - p - 1);
        p = close + 1;
        if (tag.empty() || tag[0] == '/' || tag[0] == '?' || tag[0] == '!' || tag.back() == '/' ||
            tag.find(' ') != std::string::npos)
            continue;
        const size_t end = xml.find("</" + tag + ">", p);
        if (end == std::string::npos)
            continue;
        const size_t colon = tag.find(':');
        const std::string local = colon == std::string::npos ? tag : tag.substr(colon + 1);
        found.emplace(local, xml.substr(p, end - p));
    }
    return found;
}

// The leading number of a value such as "5.4 mm"; 0 when there is none.
double leadingNumber(const std::string& text)
{
    const char* begin = text.c_str();
    char* end = nullptr;
    const double v = std::strtod(begin, &end);
    return end == begin ? 0 : v;
}

double millimetresPerUnit(const std::string& unit)
{
    if (unit == "inches")
        return 25.4;
    if (unit == "cm")
        return 10;
    if (unit == "mm")
        return 1;
    if (unit == "um")
        return 0.001;
    return 0;
}

} // namespace

double ExifFocal::fromXml(const std::string& xml, int width, int height, std::string* source)
{
    if (width <= 0 || height <= 0)
        return 0;
    const auto e = elements(xml);
    auto value = [&e](const char* name) {
        const auto it = e.find(name);
        return it == e.end() ? std::string() : it->second;
    };
    const double focal = leadingNumber(value("FocalLength"));
    const double resolution = leadingNumber(value("FocalPlaneXResolution"));
    const double unit = millimetresPerUnit(value("FocalPlaneResolutionUnit"));
    if (focal > 0 && resolution > 0 && unit > 0) {
        // The resolution refers to the sensor's full width: scale to the image's.
        double exifWidth = leadingNumber(value("ExifImageWidth"));
        if (exifWidth <= 0)
            exifWidth = width;
        const double f = focal * resolution / unit * width / exifWidth;
        if (source)
            *source = "EXIF focal length and focal plane resolution";
        return f;
    }
    double equivalent = leadingNumber(value("FocalLengthIn35mmFormat"));
    if (equivalent <= 0) {
        // exiftool's composite "5.4 mm (35 mm equivalent: 35.7 mm)"
        const std::string composite = value("FocalLength35efl");
        const auto colon = composite.find("equivalent:");
        if (colon != std::string::npos)
            equivalent = leadingNumber(composite.substr(colon + 11));
    }
    if (equivalent > 0) {
        if (source)
            *source = "EXIF 35 mm equivalent focal length";
        return equivalent * std::hypot(width, height) / std::hypot(36.0, 24.0);
    }
    return 0;
}

double ExifFocal::fromXmlFile(const std::string& xmlPath, int width, int height, std::string* source)
{
    std::ifstream in(xmlPath, std::ios::binary);
    if (!in)
        return 0;
    const std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return fromXml(xml, width, height, source);
}

std::string ExifFocal::xmlPathForImage(const std::string& imagePath)
{
    const auto dot = imagePath.rfind('.');
    const auto slash = imagePath.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return imagePath + ".xml";
    return imagePath.substr(0, dot) + ".xml";
}
