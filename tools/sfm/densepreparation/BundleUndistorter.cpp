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

#include "common/files/AtomicFile.h"
#include "ProgressLine.h"

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

cv::Mat BundleUndistorter::undistortImage(const cv::Mat& image, const CameraIntrinsics::Camera& lens)
{
    const int w = image.cols, h = image.rows;
    cv::Mat mapX(h, w, CV_32F), mapY(h, w, CV_32F);
    for (int v = 0; v < h; ++v) {
        float* mx = mapX.ptr<float>(v);
        float* my = mapY.ptr<float>(v);
        for (int u = 0; u < w; ++u) {
            double su, sv;
            lens.pixelOf((u - lens.cx) / lens.fx, (v - lens.cy) / lens.fy, su, sv);
            mx[u] = float(su);
            my[u] = float(sv);
        }
    }
    cv::Mat out;
    cv::remap(image, out, mapX, mapY, cv::INTER_CUBIC, cv::BORDER_CONSTANT, cv::Scalar::all(0));
    return out;
}

void BundleUndistorter::undistortPoint(const CameraIntrinsics::Camera& lens, double& x, double& y)
{
    double ix, iy;
    if (!lens.idealOf(lens.cx + x, lens.cy - y, ix, iy))
        return; // far outside the range the model describes
    x = ix * lens.fx;
    y = -iy * lens.fy;
}

BundlerFile BundleUndistorter::undistortBundle(const BundlerFile& bundle, const std::vector<int>& registered,
                                               const std::vector<CameraIntrinsics::Camera>& lenses)
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
            undistortPoint(lenses[size_t(v.camera)], w.x, w.y);
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
    std::vector<CameraIntrinsics::Camera> lenses(source.bundle.cameras.size());
    ProgressLine progress(log, "undistorting", size_t(n), "photos");
    cv::parallel_for_(cv::Range(0, n), [&](const cv::Range& range) {
        // Counted when a photo is done, whichever way it ended.
        for (int view = range.start; view < range.end; ++view, progress.step()) {
            const int index = source.registered[size_t(view)];
            const std::string& from = source.images[size_t(index)];
            const std::string to = layout.imageFile(view);
            std::string& why = errors[size_t(view)];
            const cv::Mat image = cv::imread(from, cv::IMREAD_COLOR);
            if (image.empty()) {
                why = "cannot read image " + from;
                continue;
            }
            CameraIntrinsics::Camera& lens = lenses[size_t(index)];
            if (!source.lens(index, image.cols, image.rows, lens, &why))
                continue;
            if (!lens.hasDistortion() && isJpeg(from)) {
                copyBytes(from, to, &why);
                continue;
            }
            std::vector<uchar> bytes;
            if (!cv::imencode(".jpg", undistortImage(image, lens), bytes, {cv::IMWRITE_JPEG_QUALITY, 95})) {
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
    return undistortBundle(source.bundle, source.registered, lenses).writeFile(layout.bundleFile(), error);
}
