#include "NvmBundleImport.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>

#include "TextFile.h"
#include "common/geometry/Rotation.h"
#include "common/text/LineWords.h"

namespace
{

bool fail(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

// Next line with content; false at the end of the stream.
bool contentLine(std::istream& in, std::string& line)
{
    while (std::getline(in, line))
        if (line.find_first_not_of(" \t\r") != std::string::npos)
            return true;
    return false;
}

} // namespace

void NvmBundleImport::fitDistortion(double r, double maxRadius, double& k1, double& k2)
{
    k1 = k2 = 0;
    if (r == 0 || !(maxRadius > 0))
        return;
    // Least squares of d/p - 1 = k1 p^2 + k2 p^4 over evenly spread radii,
    // where the measured radius d solves p = d (1 + r d^2).
    double a11 = 0, a12 = 0, a22 = 0, b1 = 0, b2 = 0;
    for (int i = 1; i <= 200; ++i) {
        const double p = maxRadius * i / 200.0;
        double d = p;
        for (int k = 0; k < 50; ++k) {
            const double f = d * (1 + r * d * d) - p, df = 1 + 3 * r * d * d;
            if (df == 0)
                break;
            d -= f / df;
        }
        const double y = d / p - 1, x1 = p * p, x2 = x1 * x1;
        a11 += x1 * x1;
        a12 += x1 * x2;
        a22 += x2 * x2;
        b1 += x1 * y;
        b2 += x2 * y;
    }
    const double det = a11 * a22 - a12 * a12;
    if (std::abs(det) < 1e-300)
        return;
    k1 = (b1 * a22 - b2 * a12) / det;
    k2 = (a11 * b2 - a12 * b1) / det;
}

bool NvmBundleImport::read(std::istream& in, std::string* error, const ImageSize& imageSize)
{
    bundle = {};
    images.clear();
    std::string line;
    if (!std::getline(in, line) || line.rfind("NVM_V3", 0) != 0)
        return fail(error, "not an NVM_V3 file");
    long long cameras = 0, points = 0;
    if (!contentLine(in, line) || !LineWords(line).numbers(cameras) || cameras < 1 || cameras > 1000000)
        return fail(error, "no camera count");
    std::vector<double> distortion;
    for (long long i = 0; i < cameras; ++i) {
        std::string name;
        double f, q[4], c[3], r;
        if (!contentLine(in, line))
            return fail(error, "camera " + std::to_string(i) + " is missing");
        LineWords words(line);
        if (!words.word(name) || !words.numbers(f, q[0], q[1], q[2], q[3], c[0], c[1], c[2], r))
            return fail(error, "camera " + std::to_string(i) + " is malformed");
        const double w = q[0], x = q[1], y = q[2], z = q[3];
        const double n = std::sqrt(w * w + x * x + y * y + z * z);
        if (!(n > 0))
            return fail(error, "camera " + std::to_string(i) + " has no rotation");
        const Rotation::Matrix R = Rotation::matrixOf({w, x, y, z});
        BundlerFile::Camera cam;
        cam.focal = f;
        for (int k = 0; k < 9; ++k)
            cam.rotation[size_t(k)] = (k < 3 ? 1.0 : -1.0) * R[k];
        for (int row = 0; row < 3; ++row)
            cam.translation[size_t(row)] =
                -(cam.rotation[size_t(3 * row)] * c[0] + cam.rotation[size_t(3 * row + 1)] * c[1] +
                  cam.rotation[size_t(3 * row + 2)] * c[2]);
        bundle.cameras.push_back(cam);
        images.push_back(name);
        distortion.push_back(r);
    }
    if (!contentLine(in, line) || !LineWords(line).numbers(points) || points < 0 || points > 100000000)
        return fail(error, "no point count");
    for (long long i = 0; i < points; ++i) {
        if (!contentLine(in, line))
            return fail(error, "point " + std::to_string(i) + " is missing");
        LineWords words(line);
        BundlerFile::Point p;
        long long views = 0;
        if (!words.numbers(p.position[0], p.position[1], p.position[2], p.colour[0], p.colour[1], p.colour[2],
                           views) ||
            views < 0 || views > cameras)
            return fail(error, "point " + std::to_string(i) + " is malformed");
        for (long long k = 0; k < views; ++k) {
            BundlerFile::View v;
            double mx, my;
            if (!words.numbers(v.camera, v.key, mx, my) || v.camera < 0 || v.camera >= cameras)
                return fail(error, "point " + std::to_string(i) + " has a malformed measurement");
            v.x = mx;
            v.y = -my; // NVM measures y downwards
            p.views.push_back(v);
        }
        bundle.points.push_back(p);
    }
    if (imageSize)
        placeOrigins(imageSize);
    std::vector<double> widest(bundle.cameras.size(), 0);
    for (const auto& p : bundle.points)
        for (const auto& v : p.views)
            widest[size_t(v.camera)] = std::max(widest[size_t(v.camera)], std::hypot(v.x, v.y));
    for (size_t i = 0; i < bundle.cameras.size(); ++i) {
        auto& cam = bundle.cameras[i];
        fitDistortion(distortion[i], 1.1 * widest[i] / cam.focal, cam.k1, cam.k2);
    }
    return true;
}

void NvmBundleImport::placeOrigins(const ImageSize& imageSize)
{
    const size_t n = bundle.cameras.size();
    std::vector<double> asGiven(n, 0), fromCorner(n, 0), cx(n, 0), cy(n, 0);
    std::vector<bool> known(n, false);
    for (size_t c = 0; c < n; ++c) {
        int w = 0, h = 0;
        if (imageSize(images[c], w, h)) {
            known[c] = true;
            cx[c] = w / 2.0;
            cy[c] = h / 2.0;
        }
    }
    // Distortion aside, the points project near their measurements from
    // the right origin and a half image away from the wrong one.
    for (const auto& p : bundle.points)
        for (const auto& v : p.views) {
            const size_t c = size_t(v.camera);
            double x, y;
            if (!known[c] || !bundle.cameras[c].project(p.position, x, y))
                continue;
            asGiven[c] += std::hypot(x - v.x, y - v.y);
            fromCorner[c] += std::hypot(x - (v.x - cx[c]), y - (v.y + cy[c]));
        }
    for (auto& p : bundle.points)
        for (auto& v : p.views) {
            const size_t c = size_t(v.camera);
            if (known[c] && fromCorner[c] < asGiven[c]) {
                v.x -= cx[c];
                v.y += cy[c]; // y was negated: -(my - cy)
            }
        }
}

bool NvmBundleImport::readFile(const std::string& path, std::string* error, const ImageSize& imageSize)
{
    intrinsics.cameras.clear();
    lensNote.clear();
    if (!TextFile::parse(path, error,
                         [&](std::istream& in, std::string* e) { return read(in, e, imageSize); }))
        return false;
    const std::filesystem::path nvm(path);
    const std::string lensPath =
        CameraIntrinsics::pathFor((nvm.parent_path() / nvm.stem()).string() + ".out");
    std::error_code ec;
    if (!std::filesystem::exists(lensPath, ec))
        return true;
    CameraIntrinsics file;
    std::string why;
    if (!file.readFile(lensPath, &why)) {
        lensNote = why + " (the lens is not used)";
        return true;
    }
    std::map<std::string, const CameraIntrinsics::Camera*> byImage;
    for (const auto& c : file.cameras)
        byImage[c.image] = &c;
    CameraIntrinsics found;
    for (const std::string& name : images) {
        const auto lens = byImage.find(name);
        if (lens == byImage.end()) {
            lensNote = lensPath + ": no camera for " + name + " (the lens is not used)";
            return true;
        }
        found.cameras.push_back(*lens->second);
    }
    for (size_t i = 0; i < bundle.cameras.size(); ++i) {
        bundle.cameras[i].k1 = found.cameras[i].k1;
        bundle.cameras[i].k2 = found.cameras[i].k2;
    }
    intrinsics = std::move(found);
    lensNote = "camera intrinsics from " + lensPath;
    return true;
}
