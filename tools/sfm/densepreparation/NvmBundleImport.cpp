#include "NvmBundleImport.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>

#include "TextFile.h"
#include "common/formats/NvmFile.h"
#include "common/geometry/Rotation.h"

namespace
{

bool fail(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
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
    NvmFile nvm;
    if (!nvm.read(in, error))
        return false;
    if (nvm.models.empty() || nvm.models[0].cameras.empty())
        return fail(error, "no cameras");
    const NvmFile::Model& model = nvm.models[0];
    std::vector<double> distortion;
    for (size_t i = 0; i < model.cameras.size(); ++i) {
        const NvmFile::Camera& c = model.cameras[i];
        const auto& q = c.quaternion;
        if (!(std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]) > 0))
            return fail(error, "camera " + std::to_string(i) + " has no rotation");
        const Rotation::Matrix R = c.rotation();
        BundlerFile::Camera cam;
        cam.focal = c.focal;
        for (int k = 0; k < 9; ++k)
            cam.rotation[size_t(k)] = (k < 3 ? 1.0 : -1.0) * R[size_t(k)];
        for (int row = 0; row < 3; ++row)
            cam.translation[size_t(row)] = -(cam.rotation[size_t(3 * row)] * c.centre[0] +
                                             cam.rotation[size_t(3 * row + 1)] * c.centre[1] +
                                             cam.rotation[size_t(3 * row + 2)] * c.centre[2]);
        bundle.cameras.push_back(cam);
        images.push_back(c.name);
        distortion.push_back(c.radial);
    }
    bundle.points.reserve(model.points.size());
    for (const NvmFile::Point& point : model.points) {
        BundlerFile::Point p;
        p.position = point.position;
        p.colour = point.colour;
        for (const NvmFile::Measurement& m : point.measurements) {
            BundlerFile::View v;
            v.camera = m.camera;
            v.key = m.feature;
            v.x = m.x;
            v.y = -m.y; // NVM measures y downwards
            p.views.push_back(v);
        }
        bundle.points.push_back(std::move(p));
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
