#include "CameraIntrinsics.h"

#include <cmath>
#include <iomanip>
#include <limits>
#include <sstream>

#include "AtomicFile.h"
#include "TextFileReader.h"

namespace
{

constexpr const char* header = "# Camera intrinsics v1";

} // namespace

void CameraIntrinsics::Camera::pixelOf(double x, double y, double& u, double& v) const
{
    const double n2 = x * x + y * y, r = 1 + k1 * n2 + k2 * n2 * n2;
    u = cx + fx * x * r;
    v = cy + fy * y * r;
}

bool CameraIntrinsics::Camera::idealOf(double u, double v, double& x, double& y) const
{
    const double qx = (u - cx) / fx, qy = (v - cy) / fy;
    x = qx;
    y = qy;
    for (int i = 0; i < 30 && hasDistortion(); ++i) {
        const double n2 = x * x + y * y, r = 1 + k1 * n2 + k2 * n2 * n2;
        if (!(r > 0.1))
            return false;
        x = qx / r;
        y = qy / r;
    }
    return std::isfinite(x) && std::isfinite(y);
}

CameraIntrinsics::Camera CameraIntrinsics::ofBundler(const BundlerFile::Camera& camera, int width, int height)
{
    Camera c;
    c.width = width;
    c.height = height;
    c.fx = c.fy = camera.focal;
    c.cx = 0.5 * (width - 1);
    c.cy = 0.5 * (height - 1);
    c.k1 = camera.k1;
    c.k2 = camera.k2;
    return c;
}

std::string CameraIntrinsics::pathFor(const std::string& bundlePath)
{
    std::string stem = bundlePath;
    if (stem.size() > 4 && stem.compare(stem.size() - 4, 4, ".out") == 0)
        stem.resize(stem.size() - 4);
    return stem + "-intrinsics.txt";
}

bool CameraIntrinsics::read(std::istream& in, std::string* error)
{
    cameras.clear();
    std::string line;
    int number = 1;
    const auto fail = [&](const std::string& why) {
        if (error)
            *error = "line " + std::to_string(number) + ": " + why;
        return false;
    };
    if (!std::getline(in, line) || line.rfind(header, 0) != 0)
        return fail("not a camera intrinsics file");
    long long count = -1;
    ++number;
    if (!std::getline(in, line))
        return fail("no camera count");
    {
        std::istringstream words(line);
        words.imbue(std::locale::classic());
        if (!(words >> count) || count < 0 || count > 1000000)
            return fail("no camera count");
    }
    for (long long i = 0; i < count; ++i) {
        ++number;
        if (!std::getline(in, line))
            return fail("camera " + std::to_string(i) + " is missing");
        std::istringstream words(line);
        words.imbue(std::locale::classic());
        Camera c;
        if (!(words >> c.width >> c.height >> c.fx >> c.fy >> c.cx >> c.cy >> c.k1 >> c.k2))
            return fail("a camera needs width, height, fx, fy, cx, cy, k1 and k2");
        for (double v : {c.fx, c.fy, c.cx, c.cy, c.k1, c.k2})
            if (!std::isfinite(v))
                return fail("a value is not a finite number");
        if (c.width < 1 || c.height < 1 || c.width > 1000000 || c.height > 1000000 || !(c.fx > 0) ||
            !(c.fy > 0))
            return fail("the size and both focal lengths must be positive");
        std::getline(words >> std::ws, c.image);
        while (!c.image.empty() && (c.image.back() == '\r' || c.image.back() == ' '))
            c.image.pop_back();
        cameras.push_back(c);
    }
    return true;
}

bool CameraIntrinsics::readFile(const std::string& path, std::string* error)
{
    return TextFileReader::read(*this, path, error);
}

void CameraIntrinsics::write(std::ostream& out) const
{
    out.imbue(std::locale::classic());
    out << std::setprecision(std::numeric_limits<double>::max_digits10) << header
        << " (width height fx fy cx cy k1 k2 image; pixel centres at whole numbers)\n"
        << cameras.size() << '\n';
    for (const Camera& c : cameras)
        out << c.width << ' ' << c.height << ' ' << c.fx << ' ' << c.fy << ' ' << c.cx << ' ' << c.cy << ' '
            << c.k1 << ' ' << c.k2 << ' ' << c.image << '\n';
}

bool CameraIntrinsics::writeFile(const std::string& path, std::string* error) const
{
    std::ostringstream out;
    write(out);
    return AtomicFile::write(path, out.str(), error);
}
