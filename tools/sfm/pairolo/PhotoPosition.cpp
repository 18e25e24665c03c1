#include "PhotoPosition.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <vector>

namespace
{

// Text of the first element whose local name is `name` ("GPS:GPSLatitude"
// and "Composite:GPSLatitude" both count), with the entities exiftool
// writes for quotes decoded.
std::string element(const std::string& xml, const std::string& name)
{
    size_t best = std::string::npos;
    for (const std::string& open : {":" + name + ">", "<" + name + ">"}) {
        const size_t at = xml.find(open);
        if (at != std::string::npos && (best == std::string::npos || at < best))
            best = at + open.size();
    }
    if (best == std::string::npos)
        return {};
    const size_t end = xml.find("</", best);
    if (end == std::string::npos)
        return {};
    std::string text = xml.substr(best, end - best);
    for (const auto& [entity, c] : {std::make_pair(std::string("&#39;"), std::string("'")),
                                    std::make_pair(std::string("&quot;"), std::string("\"")),
                                    std::make_pair(std::string("&apos;"), std::string("'"))})
        for (size_t p; (p = text.find(entity)) != std::string::npos;)
            text.replace(p, entity.size(), c);
    return text;
}

// Degrees from "43 deg 28' 2.81\" N", "43.467 N" or "-43.467"; the letter
// or the reference text ("South", "W") makes it negative.
bool degrees(const std::string& text, const std::string& reference, double& value)
{
    std::vector<double> parts;
    const char* p = text.c_str();
    while (*p && parts.size() < 3) {
        char* end = nullptr;
        const double v = std::strtod(p, &end);
        if (end == p) {
            ++p;
            continue;
        }
        if (!std::isfinite(v))
            return false;
        parts.push_back(v);
        p = end;
    }
    if (parts.empty())
        return false;
    const double sign = parts[0] < 0 ? -1 : 1;
    value = std::abs(parts[0]) + (parts.size() > 1 ? parts[1] / 60 : 0) + (parts.size() > 2 ? parts[2] / 3600 : 0);
    value *= sign;
    auto southOrWest = [](const std::string& t) {
        const size_t last = t.find_last_not_of(" \t\r\n");
        if (last == std::string::npos)
            return false;
        const char c = t[last];
        return c == 'S' || c == 'W' || t.find("South") != std::string::npos || t.find("West") != std::string::npos;
    };
    if (southOrWest(text) || southOrWest(reference))
        value = -std::abs(value);
    return true;
}

} // namespace

bool PhotoPosition::fromXml(const std::string& xml, double& latitude, double& longitude)
{
    if (!degrees(element(xml, "GPSLatitude"), element(xml, "GPSLatitudeRef"), latitude) ||
        !degrees(element(xml, "GPSLongitude"), element(xml, "GPSLongitudeRef"), longitude))
        return false;
    return std::abs(latitude) <= 90 && std::abs(longitude) <= 180 && !(latitude == 0 && longitude == 0);
}

bool PhotoPosition::fromXmlFile(const std::string& xmlPath, double& latitude, double& longitude)
{
    std::ifstream in(xmlPath, std::ios::binary);
    if (!in)
        return false;
    // exiftool's XML of one photo is a few kilobytes; more is not its file.
    std::string xml(size_t(1) << 20, '\0');
    in.read(&xml[0], std::streamsize(xml.size()));
    xml.resize(size_t(in.gcount()));
    return fromXml(xml, latitude, longitude);
}
