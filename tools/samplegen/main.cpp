// Writes the sample site that ships in samples/: a small excavation with two
// trenches and a spoil heap, as a dense coloured point cloud (ASCII PLY) and as
// a sparse reconstruction seen by a grid of downward-looking cameras (NVM).
// Deterministic: the same bytes on every machine.
//   samplegen <outdir>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>
#include <array>
#include <algorithm>

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

bool writePly(const std::string& path, const std::vector<Point>& pts)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    std::fprintf(f, "ply\nformat ascii 1.0\ncomment VCGLIB generated\nelement vertex %zu\n", pts.size());
    std::fprintf(f, "property float x\nproperty float y\nproperty float z\nproperty uchar red\n"
                    "property uchar green\nproperty uchar blue\nproperty uchar alpha\nelement face 0\n"
                    "property list uchar int vertex_indices\nend_header\n");
    for (size_t i = 0; i < pts.size(); ++i)
        std::fprintf(f, "%.6g %.6g %.6g %d %d %d 255%s", pts[i].x, pts[i].y, pts[i].z, pts[i].r, pts[i].g,
                     pts[i].b, i + 1 < pts.size() ? "\n" : "");
    return std::fclose(f) == 0;
}

bool writeNvm(const std::string& path, const std::vector<Point>& pts)
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
        std::fprintf(f, "site_%03zu.jpg %.4f 0 1 0 0 %.4f %.4f %.4f 0 0\n", c, focal, centres[c][0], centres[c][1],
                     centres[c][2]);
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
        std::fprintf(f, "%.6f %.6f %.6f %d %d %d %d%s\n", p.x, p.y, p.z, p.r, p.g, p.b, n, views.c_str());
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
    if (!writePly(dir + "/trench_site.ply", dense) || !writeNvm(dir + "/trench_site.nvm", sparse)) {
        std::fprintf(stderr, "samplegen: cannot write into %s\n", dir.c_str());
        return 1;
    }
    std::printf("samplegen: wrote trench_site.ply (%zu points) and trench_site.nvm (%zu points)\n", dense.size(),
                sparse.size());
    return 0;
}
