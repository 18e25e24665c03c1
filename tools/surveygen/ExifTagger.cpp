#include "ExifTagger.h"

#include <cmath>
#include <cstdio>
#include <fstream>

#include "common/system/ChildProcess.h"

namespace
{

std::string number(double v, int digits)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.*f", digits, v);
    return text;
}

} // namespace

bool ExifTagger::write(const std::vector<Tags>& photos, const std::string& argumentFile, std::string* error)
{
    {
        std::ofstream args(argumentFile, std::ios::binary);
        if (!args) {
            *error = "cannot write " + argumentFile;
            return false;
        }
        // One exiftool run for all photos: its start costs more than tagging a photo.
        for (const Tags& t : photos) {
            args << "-overwrite_original\n-n\n";
            args << "-Make=" << t.make << "\n-Model=" << t.model << '\n';
            args << "-FocalLength=" << number(t.focalMillimetres, 3) << '\n';
            args << "-FocalLengthIn35mmFormat=" << number(t.focal35, 0) << '\n';
            args << "-FocalPlaneXResolution=" << number(t.focalPlanePerMillimetre, 6) << '\n';
            args << "-FocalPlaneYResolution=" << number(t.focalPlanePerMillimetre, 6) << '\n';
            args << "-FocalPlaneResolutionUnit=4\n"; // millimetres
            args << "-DateTimeOriginal=" << t.time << '\n';
            if (t.gps) {
                args << "-GPSLatitude=" << number(std::abs(t.latitude), 9) << '\n';
                args << "-GPSLatitudeRef=" << (t.latitude < 0 ? "S" : "N") << '\n';
                args << "-GPSLongitude=" << number(std::abs(t.longitude), 9) << '\n';
                args << "-GPSLongitudeRef=" << (t.longitude < 0 ? "W" : "E") << '\n';
                args << "-GPSAltitude=" << number(std::abs(t.altitude), 3) << '\n';
                args << "-GPSAltitudeRef=" << (t.altitude < 0 ? 1 : 0) << '\n';
                args << "-XMP-drone-dji:RelativeAltitude=" << number(t.heightAboveTakeOff, 2) << '\n';
                args << "-XMP-drone-dji:GimbalPitchDegree=" << number(t.gimbalPitch, 2) << '\n';
                args << "-XMP-drone-dji:GimbalYawDegree=" << number(t.gimbalYaw, 2) << '\n';
            }
            args << t.path << "\n-execute\n";
        }
        if (!args.flush()) {
            *error = "cannot write " + argumentFile;
            return false;
        }
    }
    const std::string log = argumentFile + ".log";
    std::remove(log.c_str());
    std::string why;
    const int exitCode = ChildProcess::run("exiftool", {"-@", argumentFile}, log, {}, &why);
    std::string last;
    {
        std::ifstream in(log);
        for (std::string line; std::getline(in, line);)
            if (line.find("rror") != std::string::npos || line.find("arning") != std::string::npos)
                last = line;
    }
    std::remove(argumentFile.c_str());
    std::remove(log.c_str());
    if (exitCode < 0) {
        *error = why + " (apt-get install libimage-exiftool-perl)";
        return false;
    }
    if (exitCode != 0 || !last.empty()) {
        *error = "exiftool failed" + (last.empty() ? std::string() : ": " + last);
        return false;
    }
    return true;
}
