#include "common/images/ExifFocal.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <vector>

#include "common/numbers/NumberText.h"
#include "common/text/TextTokens.h"

namespace
{

// Text of the first leaf element of each local name ("ExifIFD:FocalLength"
// and "Canon:FocalLength" are both "FocalLength"; the first one wins), in one
// pass over the text whatever it holds. False when the text is not XML whose
// root is exiftool's "RDF": an unmatched or unclosed element, text or a
// second element outside the root.
bool elements(const std::string& xml, std::map<std::string, std::string>& found)
{
    struct Open {
        std::string name;
        size_t content = 0;
        bool hasChild = false;
    };
    std::vector<Open> open;
    bool rootSeen = false;
    size_t p = 0;
    if (xml.compare(0, 3, "\xEF\xBB\xBF") == 0)
        p = 3;
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (p < xml.size()) {
        const size_t lt = xml.find('<', p);
        // Text outside the root element must be blank.
        if (open.empty()) {
            const size_t stop = lt == std::string::npos ? xml.size() : lt;
            for (size_t i = p; i < stop; ++i)
                if (!blank(xml[i]))
                    return false;
        }
        if (lt == std::string::npos)
            break;
        if (xml.compare(lt, 4, "<!--") == 0) {
            const size_t close = xml.find("-->", lt + 4);
            if (close == std::string::npos)
                return false;
            p = close + 3;
            continue;
        }
        const size_t close = xml.find('>', lt + 1);
        if (close == std::string::npos)
            return false;
        p = close + 1;
        const char first = lt + 1 < close ? xml[lt + 1] : '\0';
        if (first == '?' || first == '!')
            continue;
        if (first == '/') {
            size_t nameEnd = lt + 2;
            while (nameEnd < close && !blank(xml[nameEnd]))
                ++nameEnd;
            if (open.empty() || xml.compare(lt + 2, nameEnd - lt - 2, open.back().name) != 0)
                return false;
            const Open element = std::move(open.back());
            open.pop_back();
            if (!element.hasChild) {
                const size_t colon = element.name.find(':');
                found.emplace(colon == std::string::npos ? element.name : element.name.substr(colon + 1),
                              xml.substr(element.content, lt - element.content));
            }
            continue;
        }
        size_t nameEnd = lt + 1;
        while (nameEnd < close && !blank(xml[nameEnd]) && xml[nameEnd] != '/')
            ++nameEnd;
        if (nameEnd == lt + 1)
            return false;
        if (open.empty()) {
            if (rootSeen)
                return false;
            rootSeen = true;
            const std::string root = xml.substr(lt + 1, nameEnd - lt - 1);
            const size_t colon = root.find(':');
            if ((colon == std::string::npos ? root : root.substr(colon + 1)) != "RDF")
                return false;
        } else {
            open.back().hasChild = true;
        }
        if (xml[close - 1] != '/')
            open.push_back({xml.substr(lt + 1, nameEnd - lt - 1), close + 1, false});
    }
    return rootSeen && open.empty();
}

// The leading number of a value such as "5.4 mm"; 0 when there is none.
double leadingNumber(const std::string& text)
{
    const char* begin = text.c_str();
    const char* end = begin + text.size();
    TextTokens::toToken(begin, end);
    double v = 0;
    NumberText::readLeading(begin, end, v);
    return v;
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

// Whether the photo as the tools see it (upright, width x height) is the
// stored image turned by a quarter. The stored sides, where EXIF gives both,
// say it whatever the orientation tag claims (an editor may have turned the
// pixels and kept the tag); otherwise exiftool's orientation text ("Rotate 90
// CW", "Mirror horizontal and rotate 270 CW").
bool turnedSideways(const std::string& orientation, int width, int height, double exifWidth,
                    double exifHeight)
{
    if (exifWidth > 0 && exifHeight > 0 && exifWidth != exifHeight && width != height)
        return (width > height) != (exifWidth > exifHeight);
    return orientation.find("otate 90") != std::string::npos ||
           orientation.find("otate 270") != std::string::npos;
}

} // namespace

double ExifFocal::fromXml(const std::string& xml, int width, int height, std::string* source,
                          std::string* warning)
{
    if (width <= 0 || height <= 0)
        return 0;
    std::map<std::string, std::string> e;
    if (!elements(xml, e)) {
        if (warning)
            *warning = "its EXIF file is not exiftool's XML; EXIF ignored";
        return 0;
    }
    return fromValues(e, width, height, source, warning);
}

double ExifFocal::fromValues(const std::map<std::string, std::string>& e, int width, int height,
                             std::string* source, std::string* warning)
{
    if (width <= 0 || height <= 0)
        return 0;
    // A value that is not a focal length for this photo (exiftool writes "inf"
    // for a resolution of 1/0) gives way to the next source.
    const double side = std::max(width, height);
    std::string ignored;
    auto plausible = [&](double f, const char* what) {
        if (std::isfinite(f) && f >= minimumPerSide * side && f <= maximumPerSide * side)
            return true;
        if (!ignored.empty())
            ignored += "; ";
        std::ostringstream text;
        text.imbue(std::locale::classic());
        text << "the " << what << " gives " << f << " px, not a focal length for a " << width << " x "
             << height << " photo; ignored";
        ignored += text.str();
        return false;
    };
    auto done = [&](double f) {
        if (warning)
            *warning = ignored;
        return f;
    };
    auto value = [&e](const char* name) {
        const auto it = e.find(name);
        return it == e.end() ? std::string() : it->second;
    };
    const double focal = leadingNumber(value("FocalLength"));
    const double resolution = leadingNumber(value("FocalPlaneXResolution"));
    const double unit = millimetresPerUnit(value("FocalPlaneResolutionUnit"));
    if (focal > 0 && resolution > 0 && unit > 0) {
        // The resolution refers to the sensor's full width as stored, before
        // the photo is turned upright for its orientation: scale by the side
        // of the photo that width became.
        const double exifWidth = leadingNumber(value("ExifImageWidth"));
        const double exifHeight = leadingNumber(value("ExifImageHeight"));
        const bool turned = turnedSideways(value("Orientation"), width, height, exifWidth, exifHeight);
        const double storedWidth = turned ? height : width;
        const double f = focal * resolution / unit * (exifWidth > 0 ? storedWidth / exifWidth : 1.0);
        if (plausible(f, "EXIF focal length and focal plane resolution")) {
            if (source)
                *source = "focal length and focal plane resolution";
            return done(f);
        }
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
        const double f = equivalent * std::hypot(width, height) / std::hypot(36.0, 24.0);
        if (plausible(f, "EXIF 35 mm equivalent focal length")) {
            if (source)
                *source = "35 mm equivalent focal length";
            return done(f);
        }
    }
    return done(0);
}

double ExifFocal::fromXmlFile(const std::string& xmlPath, int width, int height, std::string* source,
                              std::string* warning)
{
    std::ifstream in(xmlPath, std::ios::binary);
    if (!in)
        return 0;
    const std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return fromXml(xml, width, height, source, warning);
}

std::string ExifFocal::cameraFromXml(const std::string& xml)
{
    std::map<std::string, std::string> e;
    if (!elements(xml, e))
        return {};
    auto trimmed = [&e](const char* name) {
        const auto it = e.find(name);
        if (it == e.end())
            return std::string();
        const size_t first = it->second.find_first_not_of(" \t\r\n");
        const size_t last = it->second.find_last_not_of(" \t\r\n");
        return first == std::string::npos ? std::string() : it->second.substr(first, last - first + 1);
    };
    const std::string make = trimmed("Make"), model = trimmed("Model");
    return make.empty() ? model : model.empty() ? make : make + " " + model;
}

std::string ExifFocal::cameraFromXmlFile(const std::string& xmlPath)
{
    std::ifstream in(xmlPath, std::ios::binary);
    if (!in)
        return {};
    const std::string xml((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return cameraFromXml(xml);
}

std::string ExifFocal::xmlPathForImage(const std::string& imagePath)
{
    const auto dot = imagePath.rfind('.');
    const auto slash = imagePath.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return imagePath + ".xml";
    return imagePath.substr(0, dot) + ".xml";
}
