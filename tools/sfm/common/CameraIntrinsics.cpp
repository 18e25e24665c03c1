#include "CameraIntrinsics.h"

#include <cmath>
#include <iomanip>
#include <limits>
#include <sstream>

#include "common/files/AtomicFile.h"
#include "common/geometry/RadialDistortion.h"
#include "common/files/TextFileReader.h"
#include "common/text/TextTokens.h"

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

std::string CameraIntrinsics::Camera::problem() const
{
    constexpr int maxSide = 1000000;
    if (width < 1 || height < 1 || width > maxSide || height > maxSide)
        return "the photo's size must be 1 to 1000000 pixels each way, not " + std::to_string(width) + " x " +
               std::to_string(height);
    if (!(fx > 0) || !(fy > 0))
        return "both focal lengths must be positive";
    // Their mean is the NVM's focal length.
    if (!std::isfinite(fx + fy))
        return "the focal lengths are too large";
    if (!(cx >= -width && cx <= 2.0 * width && cy >= -height && cy <= 2.0 * height))
        return "the principal point lies far outside the photo";
    // The NVM keeps one radial term, fitted over the photo's radii: a
    // distortion too strong for the fit would give it a NaN.
    const double radial = RadialDistortion::nvmFromProjection(
        k1, k2, RadialDistortion::maxRadius(width, height, 0.5 * (fx + fy)));
    if (!std::isfinite(k1) || !std::isfinite(k2) || !std::isfinite(radial))
        return "the distortion (k1, k2) is too strong to be expressed as the NVM's radial term";
    return std::string();
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
        const auto words = TextTokens::split(line);
        if (words.size() != 1 || !TextTokens::number(words[0], count) || count < 0 || count > 1000000)
            return fail("no camera count");
    }
    for (long long i = 0; i < count; ++i) {
        ++number;
        if (!std::getline(in, line))
            return fail("camera " + std::to_string(i) + " is missing");
        const auto words = TextTokens::split(line);
        if (words.size() < 8)
            return fail("a camera needs width, height, fx, fy, cx, cy, k1 and k2");
        Camera c;
        if (!TextTokens::number(words[0], c.width) || !TextTokens::number(words[1], c.height))
            return fail("the size " + TextTokens::quoted(words[0]) + " x " + TextTokens::quoted(words[1]) +
                        " is not two whole numbers");
        double* values[] = {&c.fx, &c.fy, &c.cx, &c.cy, &c.k1, &c.k2};
        for (int k = 0; k < 6; ++k)
            if (!TextTokens::number(words[size_t(2 + k)], *values[k]))
                return fail(TextTokens::quoted(words[size_t(2 + k)]) + " is not a finite number");
        const std::string problem = c.problem();
        if (!problem.empty())
            return fail(problem);
        // The image name is the rest of the line, blanks and all.
        if (words.size() > 8)
            c.image = TextTokens::rest(line, words[8]);
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
    // What the reader would refuse is not written.
    for (size_t i = 0; i < cameras.size(); ++i) {
        const std::string problem = cameras[i].problem();
        if (!problem.empty()) {
            if (error)
                *error = "not writing " + path + ": camera " + std::to_string(i) + ": " + problem;
            return false;
        }
    }
    std::ostringstream out;
    write(out);
    return AtomicFile::write(path, out.str(), error);
}
