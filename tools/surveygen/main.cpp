// surveygen <folder> [options]: a synthetic aerial survey of an excavation
// site with known truth (see SurveyWriter.h). Needs an X display (xvfb-run).
//   --photos N        photos in all (default 16; an eighth of them oblique from 12 on)
//   --size WxH        photo size in pixels (default 1600x1200)
//   --site WxD        site size in metres (default 60x45)
//   --altitude M      flight height over the site (default 40)
//   --spacing M       grid spacing of the ground (default 0.1)
//   --targets N       control targets (default 10)
//   --gps-noise M     standard deviation of the GPS fixes (default 3); --no-gps leaves GPS out
//   --nadir           nadir photos only, no oblique ring
//   --k1 K, --k2 K    the lens's radial distortion (default 0), as COLMAP's RADIAL model;
//                     the EXIF carries the focal length only, as a consumer camera writes it
//   --seed N          (default 1)
//   --day N           a later survey of the same site (default 1): the first trench
//                     deepened and its spoil heap grown (SiteModel::advanceTo)
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <string>

#include "SiteModel.h"
#include "SurveyWriter.h"
#include "common/text/TextTokens.h"

namespace
{

bool pair(const std::string& text, double* a, double* b)
{
    const auto x = text.find('x');
    if (x == std::string::npos)
        return false;
    const std::string_view all(text);
    return TextTokens::number(all.substr(0, x), *a) && TextTokens::number(all.substr(x + 1), *b) && *a > 0 &&
           *b > 0;
}

bool positive(const std::string& text, double* v)
{
    return TextTokens::number(text, *v) && *v >= 0;
}

bool finite(const std::string& text, double* v)
{
    return TextTokens::number(text, *v);
}

} // namespace

int main(int argc, char* argv[])
{
    SurveyWriter::Settings s;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const std::string v = i + 1 < argc ? argv[i + 1] : "";
        double x = 0, y = 0;
        bool ok = true;
        if (a == "--photos") {
            ok = positive(v, &x) && x >= 2 && x <= 5000;
            s.flight.photos = int(x);
        } else if (a == "--size") {
            ok = pair(v, &x, &y) && x >= 64 && y >= 64 && x <= 16384 && y <= 16384;
            s.flight.width = int(x);
            s.flight.height = int(y);
        } else if (a == "--site") {
            ok = pair(v, &s.siteWidth, &s.siteDepth) && s.siteWidth >= 10 && s.siteDepth >= 10;
        } else if (a == "--altitude") {
            ok = positive(v, &s.flight.altitude) && s.flight.altitude >= 5;
        } else if (a == "--spacing") {
            ok = positive(v, &s.gridSpacing) && s.gridSpacing >= 0.01;
        } else if (a == "--targets") {
            ok = positive(v, &x) && x <= 64;
            s.targets = int(x);
        } else if (a == "--gps-noise") {
            ok = positive(v, &s.gpsNoise);
        } else if (a == "--seed") {
            ok = positive(v, &x);
            s.seed = s.flight.seed = std::uint64_t(x);
        } else if (a == "--day") {
            ok = positive(v, &x) && x >= 1 && x <= 19 && x == std::floor(x);
            s.day = int(x);
        } else if (a == "--k1") {
            ok = finite(v, &s.flight.k1) && std::abs(s.flight.k1) <= 1;
        } else if (a == "--k2") {
            ok = finite(v, &s.flight.k2) && std::abs(s.flight.k2) <= 1;
        } else if (a == "--nadir") {
            s.flight.nadirOnly = true;
            continue;
        } else if (a == "--no-gps") {
            s.gps = false;
            continue;
        } else if (folder.empty() && a.rfind("--", 0) != 0) {
            folder = a;
            continue;
        } else {
            ok = false;
        }
        if (!ok) {
            std::cerr << "surveygen: bad option " << a << (v.empty() ? "" : " " + v) << std::endl;
            return 2;
        }
        ++i;
    }
    if (folder.empty()) {
        std::cerr << "usage: surveygen <folder> [--photos N] [--size WxH] [--site WxD] [--altitude M] "
                     "[--spacing M] [--targets N] [--gps-noise M] [--no-gps] [--seed N] [--day N] [--nadir] "
                     "[--k1 K] [--k2 K]"
                  << std::endl;
        return 2;
    }
    const double margin = 30;
    if ((s.siteWidth + 2 * margin) / s.gridSpacing * ((s.siteDepth + 2 * margin) / s.gridSpacing) >
        SiteModel::maxGridVertices) {
        std::cerr << "surveygen: the ground grid would be too large; give a coarser --spacing" << std::endl;
        return 2;
    }
    std::string error;
    if (!SurveyWriter::write(s, folder, std::cout, &error)) {
        std::cerr << "surveygen: " << error << std::endl;
        return 1;
    }
    std::cout << "Survey written to " << folder << std::endl;
    return 0;
}
