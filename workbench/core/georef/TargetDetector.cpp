#include "core/georef/TargetDetector.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <opencv2/imgproc.hpp>

namespace
{

constexpr int ringSamples = 32; // a multiple of four: the quarter and half turns fall on samples
constexpr double blurSigma = 1.2; // the smoothing before the saddle strength, pixels

// Bilinear value of a float image at a pixel-centre position; false outside.
bool sample(const cv::Mat& image, double x, double y, double* value)
{
    const int x0 = int(std::floor(x)), y0 = int(std::floor(y));
    if (x0 < 0 || y0 < 0 || x0 + 1 >= image.cols || y0 + 1 >= image.rows)
        return false;
    const double fx = x - x0, fy = y - y0;
    const float* a = image.ptr<float>(y0);
    const float* b = image.ptr<float>(y0 + 1);
    *value = (1 - fy) * ((1 - fx) * a[x0] + fx * a[x0 + 1]) + fy * ((1 - fx) * b[x0] + fx * b[x0 + 1]);
    return true;
}

struct Ring {
    bool inside = false;
    double symmetry = 0; // 1 for a checker: the same under a half turn, the opposite under a quarter turn
    double contrast = 0; // grey levels between the light and the dark quarter of the samples
};

// The ring of samples around a centre: a checker's centre shows two light and
// two dark arcs facing each other, a corner or an edge does not.
Ring ring(const cv::Mat& image, double x, double y, double radius)
{
    Ring r;
    std::vector<double> values(ringSamples);
    for (int k = 0; k < ringSamples; ++k) {
        const double angle = 2 * M_PI * (k + 0.5) / ringSamples;
        if (!sample(image, x + radius * std::cos(angle), y + radius * std::sin(angle), &values[k]))
            return r;
    }
    r.inside = true;
    double mean = 0;
    for (double v : values)
        mean += v / ringSamples;
    double energy = 0, half = 0, quarter = 0;
    for (int k = 0; k < ringSamples; ++k) {
        const double a = values[k] - mean;
        energy += a * a;
        half += a * (values[(k + ringSamples / 2) % ringSamples] - mean);
        quarter += a * (values[(k + ringSamples / 4) % ringSamples] - mean);
    }
    if (energy > 0)
        r.symmetry = std::clamp((half - quarter) / (2 * energy), 0.0, 1.0);
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    const int q = ringSamples / 4;
    double low = 0, high = 0;
    for (int k = 0; k < q; ++k) {
        low += sorted[k] / q;
        high += sorted[ringSamples - 1 - k] / q;
    }
    r.contrast = high - low;
    return r;
}

} // namespace

cv::Rect TargetDetector::windowOf(const cv::Size& photoSize, double column, double row) const
{
    const int half = std::max(4, m_options.window / 2);
    const int pad = int(std::ceil(m_options.ringRadius)) + 4;
    const double px = std::clamp(column - 0.5, -1e6, 1e6), py = std::clamp(row - 0.5, -1e6, 1e6);
    const cv::Rect wanted(int(std::floor(px)) - half - pad, int(std::floor(py)) - half - pad,
                          2 * (half + pad) + 1, 2 * (half + pad) + 1);
    return wanted & cv::Rect(0, 0, photoSize.width, photoSize.height);
}

TargetDetector::Result TargetDetector::find(const cv::Mat& photo, double column, double row) const
{
    return find(photo, 0, 0, photo.size(), column, row);
}

TargetDetector::Result TargetDetector::find(const cv::Mat& part, int left, int top, const cv::Size& photoSize,
                                            double column, double row) const
{
    Result result;
    if (part.empty() || part.type() != CV_8UC1) {
        result.reason = QStringLiteral("the photo cannot be read");
        return result;
    }
    // Pixel-centre coordinates from here on (OpenCV's): the first pixel's centre is 0, 0.
    const double px = column - 0.5, py = row - 0.5;
    const double edge = m_options.ringRadius + 2;
    if (!std::isfinite(px) || !std::isfinite(py) || px < edge || py < edge ||
        px > photoSize.width - 1 - edge || py > photoSize.height - 1 - edge) {
        result.reason = QStringLiteral("hidden at the photo's edge");
        return result;
    }
    const int half = std::max(4, m_options.window / 2);
    const cv::Rect box = windowOf(photoSize, column, row) & cv::Rect(left, top, part.cols, part.rows);
    if (box.width < 8 || box.height < 8) {
        result.reason = QStringLiteral("hidden at the photo's edge");
        return result;
    }
    cv::Mat patch;
    part(box - cv::Point(left, top)).convertTo(patch, CV_32F);

    // Saddle strength: the Hessian's determinant is negative where the grey
    // level rises along one diagonal and falls along the other.
    cv::Mat smooth, xx, yy, xy, saddle;
    cv::GaussianBlur(patch, smooth, cv::Size(0, 0), blurSigma);
    cv::Sobel(smooth, xx, CV_32F, 2, 0, 3);
    cv::Sobel(smooth, yy, CV_32F, 0, 2, 3);
    cv::Sobel(smooth, xy, CV_32F, 1, 1, 3);
    saddle = xy.mul(xy) - xx.mul(yy);
    cv::Mat peaks;
    cv::dilate(saddle, peaks, cv::Mat::ones(5, 5, CV_8U));

    struct Seed {
        float strength;
        cv::Point2f at;
    };
    std::vector<Seed> seeds;
    const double cx = px - box.x, cy = py - box.y;
    for (int y = 2; y < patch.rows - 2; ++y)
        for (int x = 2; x < patch.cols - 2; ++x) {
            const float s = saddle.at<float>(y, x);
            if (s > 0 && s >= peaks.at<float>(y, x) && std::abs(x - cx) <= half && std::abs(y - cy) <= half)
                seeds.push_back({s, cv::Point2f(float(x), float(y))});
        }
    std::sort(seeds.begin(), seeds.end(),
              [](const Seed& a, const Seed& b) { return a.strength > b.strength; });
    // The strongest saddles: eight in the usual window, as many more as a wider
    // one has room for, so that a target among textured ground is still tried.
    const size_t keep = std::clamp<size_t>(size_t(8.0 * double(patch.total()) / (72.0 * 72.0)), 8, 400);
    if (seeds.size() > keep)
        seeds.resize(keep);
    if (seeds.empty()) {
        result.reason = QStringLiteral("no checker in the window");
        return result;
    }

    std::vector<cv::Point2f> corners;
    for (const Seed& s : seeds)
        corners.push_back(s.at);
    const int refine = std::max(2, int(std::lround(m_options.ringRadius)));
    cv::cornerSubPix(patch, corners, cv::Size(refine, refine), cv::Size(-1, -1),
                     cv::TermCriteria(cv::TermCriteria::EPS + cv::TermCriteria::COUNT, 50, 0.001));

    // A centre is only measured where the smoothing and the refinement saw
    // the photo all round it: near the edge they see the border instead, and
    // the saddle they find moves towards it.
    const double inner = std::ceil(3 * blurSigma) + refine;
    bool lowContrast = false, atEdge = false;
    double best = -1;
    for (size_t i = 0; i < corners.size(); ++i) {
        const cv::Point2f c = corners[i];
        if (!std::isfinite(c.x) || !std::isfinite(c.y) || cv::norm(c - seeds[i].at) > 2.5 ||
            std::abs(c.x - cx) > half || std::abs(c.y - cy) > half)
            continue;
        const double x = box.x + double(c.x), y = box.y + double(c.y);
        if (x < inner || y < inner || x > photoSize.width - 1 - inner || y > photoSize.height - 1 - inner) {
            atEdge = true;
            continue;
        }
        // Two rings: an inner one close to the centre and the outer one the options name.
        const Ring near = ring(patch, c.x, c.y, 0.65 * m_options.ringRadius);
        const Ring outer = ring(patch, c.x, c.y, m_options.ringRadius);
        if (!near.inside || !outer.inside) {
            atEdge = true;
            continue;
        }
        const double symmetry = std::min(near.symmetry, outer.symmetry);
        if (symmetry < m_options.minSymmetry)
            continue;
        if (outer.contrast < m_options.minContrast) {
            lowContrast = true;
            continue;
        }
        // Better: the more symmetric, or with Options::nearest the nearer.
        const double rank = m_options.nearest ? -std::hypot(c.x - cx, c.y - cy) : symmetry;
        if (!result.found || rank > best) {
            best = rank;
            result.found = true;
            result.column = box.x + double(c.x) + 0.5;
            result.row = box.y + double(c.y) + 0.5;
            result.score = symmetry;
            result.contrast = outer.contrast;
        }
    }
    if (!result.found)
        result.reason = lowContrast ? QStringLiteral("too little contrast")
                        : atEdge    ? QStringLiteral("hidden at the photo's edge")
                                    : QStringLiteral("no checker in the window");
    return result;
}
