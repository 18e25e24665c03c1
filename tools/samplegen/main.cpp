// Writes the sample site that ships in samples/: a small excavation with two
// trenches and a spoil heap, as a dense coloured point cloud (ASCII PLY) and as
// a sparse reconstruction seen by a grid of downward-looking cameras (NVM).
// The same site is also written at survey coordinates (UTM, the site's corner
// at 712000 E, 4123000 N, 95 m): trench_site_utm.ply and trench_site_utm.nvm.
// Deterministic: the same bytes on every machine.
//   samplegen <outdir>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>
#include <array>
#include <algorithm>
#include <cstring>

#include "common/numbers/NumberText.h"

namespace {

struct Rng
{
    uint64_t s = 0x9E3779B97F4A7C15ull;
    double next() // uniform in [0, 1)
    {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        return double(s >> 11) / double(1ull << 53);
    }
};

struct Point
{
    double x, y, z;
    int r, g, b;
};

// Ground height of the site: a gentle slope, two rectangular trenches cut 0.8 m
// and 1.2 m deep with stepped walls, and a spoil heap beside them.
double height(double x, double y, int* material)
{
    double z = 0.03 * x + 0.02 * y + 0.05 * std::sin(x * 0.7) * std::cos(y * 0.5);
    *material = 0; // topsoil
    const double heap = 0.9 * std::exp(-((x - 16) * (x - 16) + (y - 4) * (y - 4)) / 6.0);
    if (heap > 0.05) {
        z += heap;
        *material = 2; // spoil
    }
    if (x > 3 && x < 9 && y > 3 && y < 7) {
        z -= (x > 3.5 && x < 8.5 && y > 3.5 && y < 6.5) ? 0.8 : 0.4;
        *material = 1; // excavated
    }
    if (x > 4 && x < 7 && y > 10 && y < 16) {
        z -= (x > 4.5 && x < 6.5 && y > 10.5 && y < 15.5) ? 1.2 : 0.6;
        *material = 1;
    }
    return z;
}

Point samplePoint(Rng& rng)
{
    Point p;
    p.x = rng.next() * 20.0;
    p.y = rng.next() * 20.0;
    int material = 0;
    p.z = height(p.x, p.y, &material) + (rng.next() - 0.5) * 0.01;
    const double shade = 0.85 + 0.3 * rng.next();
    const int base[3][3] = {{96, 122, 64}, {168, 120, 78}, {140, 112, 90}};
    int* c[3] = {&p.r, &p.g, &p.b};
    for (int i = 0; i < 3; ++i)
        *c[i] = std::min(255, int(base[material][i] * shade));
    // Stone wall footing in the first trench: grey blocks.
    if (p.x > 5.5 && p.x < 6.1 && p.y > 3.5 && p.y < 6.5 && p.z > -0.75) {
        p.z += 0.35;
        p.r = p.g = p.b = std::min(255, int(150 * shade));
    }
    return p;
}

// Where the site lies in the survey grid.
struct Offset
{
    double x, y, z;
};
constexpr Offset nearOrigin{0.0, 0.0, 0.0};
constexpr Offset utm{712000.0, 4123000.0, 95.0};

// The value with at most `decimals` decimals and no trailing zeros.
std::string trimmed(double value, int decimals)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    std::string text = buf;
    if (text.find('.') != std::string::npos) {
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.')
            text.pop_back();
    }
    return text == "-0" ? "0" : text;
}

// A coordinate of the PLY: six significant digits near the origin (the
// layout the sample always had); at survey coordinates the same decimals
// moved by the offset, so both clouds hold the very same site.
std::string plyCoordinate(double v, double offset)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    if (offset == 0.0)
        return buf;
    double rounded = 0;
    NumberText::read(buf, buf + std::strlen(buf), rounded);
    return trimmed(rounded + offset, 6);
}

bool writePly(const std::string& path, const std::vector<Point>& pts, const Offset& at = nearOrigin)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    std::fprintf(f, "ply\nformat ascii 1.0\ncomment VCGLIB generated\nelement vertex %zu\n", pts.size());
    std::fprintf(f, "property float x\nproperty float y\nproperty float z\nproperty uchar red\n"
                    "property uchar green\nproperty uchar blue\nproperty uchar alpha\nelement face 0\n"
                    "property list uchar int vertex_indices\nend_header\n");
    for (size_t i = 0; i < pts.size(); ++i)
        std::fprintf(f, "%s %s %s %d %d %d 255%s", plyCoordinate(pts[i].x, at.x).c_str(),
                     plyCoordinate(pts[i].y, at.y).c_str(), plyCoordinate(pts[i].z, at.z).c_str(), pts[i].r,
                     pts[i].g, pts[i].b, i + 1 < pts.size() ? "\n" : "");
    return std::fclose(f) == 0;
}

bool writeNvm(const std::string& path, const std::vector<Point>& pts, const Offset& at = nearOrigin)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    // Cameras 12 m above the site in a 4 x 4 grid, looking straight down
    // (a half turn about x: quaternion w=0, x=1).
    const double focal = 1800.0;
    std::vector<std::array<double, 3>> centres;
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i)
            centres.push_back({2.5 + i * 5.0, 2.5 + j * 5.0, 12.0});
    std::fprintf(f, "NVM_V3\n\n%zu\n", centres.size());
    for (size_t c = 0; c < centres.size(); ++c)
        std::fprintf(f, "site_%03zu.jpg %.4f 0 1 0 0 %.4f %.4f %.4f 0 0\n", c, focal, centres[c][0] + at.x,
                     centres[c][1] + at.y, centres[c][2] + at.z);
    std::fprintf(f, "\n%zu\n", pts.size());
    for (size_t k = 0; k < pts.size(); ++k) {
        const Point& p = pts[k];
        std::string views;
        int n = 0;
        for (size_t c = 0; c < centres.size(); ++c) {
            const double depth = centres[c][2] - p.z;
            const double mx = focal * (p.x - centres[c][0]) / depth;
            const double my = -focal * (p.y - centres[c][1]) / depth;
            if (std::fabs(mx) < 1500 && std::fabs(my) < 1000) {
                char buf[96];
                std::snprintf(buf, sizeof buf, " %zu %zu %.3f %.3f", c, k, mx, my);
                views += buf;
                ++n;
            }
        }
        std::fprintf(f, "%.6f %.6f %.6f %d %d %d %d%s\n", p.x + at.x, p.y + at.y, p.z + at.z, p.r, p.g, p.b, n,
                     views.c_str());
    }
    std::fprintf(f, "\n\n0\n");
    return std::fclose(f) == 0;
}

} // namespace


int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: samplegen <outdir>\n");
        return 2;
    }
    const std::string dir = argv[1];
    Rng rng;
    std::vector<Point> dense(60000), sparse(4000);
    for (Point& p : dense)
        p = samplePoint(rng);
    for (Point& p : sparse)
        p = samplePoint(rng);
    if (!writePly(dir + "/trench_site.ply", dense) || !writeNvm(dir + "/trench_site.nvm", sparse) ||
        !writePly(dir + "/trench_site_utm.ply", dense, utm) || !writeNvm(dir + "/trench_site_utm.nvm", sparse, utm)) {
        std::fprintf(stderr, "samplegen: cannot write into %s\n", dir.c_str());
        return 1;
    }
    std::printf("samplegen: wrote trench_site.ply (%zu points) and trench_site.nvm (%zu points), and both at "
                "UTM 712000, 4123000, 95 (trench_site_utm.ply, trench_site_utm.nvm)\n",
                dense.size(), sparse.size());
    return 0;
}
