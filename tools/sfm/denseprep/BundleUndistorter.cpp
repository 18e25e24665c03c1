#include "BundleUndistorter.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <ostream>
#include <sstream>

#include "AtomicFile.h"

namespace fs = std::filesystem;

namespace
{

bool isJpeg(const std::string& path)
{
    std::string ext = fs::path(path).extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    return ext == ".jpg" || ext == ".jpeg";
}

bool copyBytes(const std::string& from, const std::string& to, std::string* error)
{
    std::ifstream in(from, std::ios::binary);
    if (!in) {
        if (error)
            *error = "cannot read image " + from;
        return false;
    }
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return AtomicFile::write(to, bytes, error);
}

} // namespace

cv::Mat BundleUndistorter::undistortImage(const cv::Mat& image, const BundlerFile::Camera& camera)
{
    const int w = image.cols, h = image.rows;
    const double cx = w / 2.0, cy = h / 2.0, f = camera.focal;
    cv::Mat mapX(h, w, CV_32F), mapY(h, w, CV_32F);
    for (int v = 0; v < h; ++v) {
        float* mx = mapX.ptr<float>(v);
        float* my = mapY.ptr<float>(v);
        for (int u = 0; u < w; ++u) {
            const double x = u - cx, y = cy - v;
            const double n2 = (x * x + y * y) / (f * f);
            const double r = 1.0 + camera.k1 * n2 + camera.k2 * n2 * n2;
            mx[u] = float(cx + r * x);
            my[u] = float(cy - r * y);
        }
    }
    cv::Mat out;
    cv::remap(image, out, mapX, mapY, cv::INTER_CUBIC, cv::BORDER_CONSTANT, cv::Scalar::all(0));
    return out;
}

void BundleUndistorter::undistortPoint(const BundlerFile::Camera& camera, double& x, double& y)
{
    const double qx = x / camera.focal, qy = y / camera.focal;
    double px = qx, py = qy;
    for (int i = 0; i < 20; ++i) {
        const double n2 = px * px + py * py;
        const double r = 1.0 + camera.k1 * n2 + camera.k2 * n2 * n2;
        if (!(r > 0.1))
            break; // far outside the range the model describes
        px = qx / r;
        py = qy / r;
    }
    x = px * camera.focal;
    y = py * camera.focal;
}

BundlerFile BundleUndistorter::undistortBundle(const BundlerFile& bundle, const std::vector<int>& registered)
{
    std::vector<int> viewOf(bundle.cameras.size(), -1);
    BundlerFile out;
    for (size_t view = 0; view < registered.size(); ++view) {
        viewOf[size_t(registered[view])] = int(view);
        BundlerFile::Camera c = bundle.cameras[size_t(registered[view])];
        c.k1 = c.k2 = 0;
        out.cameras.push_back(c);
    }
    for (const auto& p : bundle.points) {
        BundlerFile::Point q;
        q.position = p.position;
        q.colour = p.colour;
        for (const auto& v : p.views) {
            const int view = viewOf[size_t(v.camera)];
            if (view < 0)
                continue;
            BundlerFile::View w = v;
            w.camera = view;
            undistortPoint(bundle.cameras[size_t(v.camera)], w.x, w.y);
            q.views.push_back(w);
        }
        out.points.push_back(q);
    }
    return out;
}

bool BundleUndistorter::run(const DenseSource& source, const DenseLayout& layout, std::string* error,
                            std::ostream* log)
{
    std::error_code ec;
    fs::create_directories(layout.imageFolder(), ec);
    if (ec) {
        if (error)
            *error = "cannot create " + layout.imageFolder() + ": " + ec.message();
        return false;
    }
    const int n = int(source.registered.size());
    std::vector<std::string> errors(static_cast<size_t>(n));
    cv::parallel_for_(cv::Range(0, n), [&](const cv::Range& range) {
        for (int view = range.start; view < range.end; ++view) {
            const int index = source.registered[size_t(view)];
            const auto& camera = source.bundle.cameras[size_t(index)];
            const std::string& from = source.images[size_t(index)];
            const std::string to = layout.imageFile(view);
            std::string& why = errors[size_t(view)];
            if (camera.k1 == 0 && camera.k2 == 0 && isJpeg(from)) {
                copyBytes(from, to, &why);
                continue;
            }
            const cv::Mat image = cv::imread(from, cv::IMREAD_COLOR);
            if (image.empty()) {
                why = "cannot read image " + from;
                continue;
            }
            std::vector<uchar> bytes;
            if (!cv::imencode(".jpg", undistortImage(image, camera), bytes, {cv::IMWRITE_JPEG_QUALITY, 95})) {
                why = "cannot encode " + to;
                continue;
            }
            AtomicFile::write(to, std::string(bytes.begin(), bytes.end()), &why);
        }
    });
    for (int view = 0; view < n; ++view) {
        if (!errors[size_t(view)].empty()) {
            if (error)
                *error = errors[size_t(view)];
            return false;
        }
        if (log)
            *log << source.images[size_t(source.registered[size_t(view)])] << " -> " << layout.imageFile(view)
                 << '\n';
    }
    return undistortBundle(source.bundle, source.registered).writeFile(layout.bundleFile(), error);
}
