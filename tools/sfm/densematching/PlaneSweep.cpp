#include "PlaneSweep.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <limits>
#include <opencv2/calib3d.hpp>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgproc.hpp>

namespace
{

using Mat33 = std::array<double, 9>;
using Vec3 = std::array<double, 3>;

Mat33 multiply(const Mat33& a, const Mat33& b)
{
    Mat33 c{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            c[3 * i + j] = a[3 * i] * b[j] + a[3 * i + 1] * b[3 + j] + a[3 * i + 2] * b[6 + j];
    return c;
}

// A family of planes seen from the reference: at plane parameter s a pixel
// x (homogeneous) lies at depth 1 / (s g.x), and lands in a neighbour at
// H x with H = A + s e g^T (A = M_k M_r^-1, e the image of the reference
// centre in the neighbour). Planes parallel to the image have g = (0, 0, 1)
// and s the inverse depth; planes with world normal N at distance h from
// the centre have g = M_r^-T N and s = 1 / h.
struct Planes {
    Vec3 g{0, 0, 1};
    Vec3 normal{};         // world; zero for the frontal planes
    std::vector<double> s; // the planes, evenly spaced
    double step = 0;
    cv::Mat planeLo, planeHi; // per pixel, CV_32S; lo > hi: none
    cv::Mat bestScore, bestS; // results
    double swept = 0;         // planes at full width
};

struct Transfer {
    Mat33 A{};
    Vec3 e{};
    Mat33 at(double s, const Vec3& g) const
    {
        Mat33 H = A;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                H[size_t(3 * i + j)] += s * e[size_t(i)] * g[size_t(j)];
        return H;
    }
};

Transfer transfer(const MvsCamera& ref, const MvsCamera& other)
{
    Transfer t;
    t.A = multiply(other.block(), ref.inverseBlock());
    const auto& P = other.projection();
    const auto& C = ref.centre();
    for (int r = 0; r < 3; ++r)
        t.e[size_t(r)] = P[4 * r] * C[0] + P[4 * r + 1] * C[1] + P[4 * r + 2] * C[2] + P[4 * r + 3];
    return t;
}

// Columns of row y whose window centre lies on the family's planes in front
// of the reference and lands at least margin pixels inside the neighbour,
// in front of it. Every condition is linear in u.
bool validSpan(const Mat33& H, const Vec3& g, double y, int width, int otherWidth, int otherHeight,
               double margin, int border, int& lo, int& hi)
{
    double from = border, to = width - 1 - border;
    const double ax = H[0], ay = H[1] * y + H[2];
    const double bx = H[3], by = H[4] * y + H[5];
    const double cx = H[6], cy = H[7] * y + H[8];
    const double maxX = otherWidth - 1 - margin, maxY = otherHeight - 1 - margin;
    const double conditions[6][2] = {
        {g[0], g[1] * y + g[2] - 1e-12},      // on the planes' side of the reference
        {cx, cy - 1e-9},                      // in front of the neighbour
        {ax - margin * cx, ay - margin * cy}, // right of its left edge
        {maxX * cx - ax, maxX * cy - ay},     // left of its right edge
        {bx - margin * cx, by - margin * cy}, // below its top edge
        {maxY * cx - bx, maxY * cy - by},     // above its bottom edge
    };
    for (const auto& c : conditions) {
        const double alpha = c[0], beta = c[1];
        if (std::abs(alpha) < 1e-12) {
            if (beta < 0)
                return false;
            continue;
        }
        const double bound = -beta / alpha;
        if (alpha > 0)
            from = std::max(from, bound);
        else
            to = std::min(to, bound);
    }
    if (!(from <= to))
        return false;
    lo = int(std::ceil(from));
    hi = int(std::floor(to));
    return lo <= hi;
}

// The sweep's inner loops: plain loops over a row that the compiler turns
// into vector code, built once more for AVX2 where the processor has it.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define SWEEP_KERNEL __attribute__((target_clones("avx2", "default")))
#else
#define SWEEP_KERNEL
#endif

SWEEP_KERNEL void products(const unsigned char* __restrict warped, const float* __restrict i,
                           float* __restrict a, float* __restrict b, float* __restrict c, int count)
{
    for (int x = 0; x < count; ++x) {
        const float w = float(warped[x]) * (1.f / 255.f) - 0.5f;
        a[x] = w;
        b[x] = w * w;
        c[x] = i[x] * w;
    }
}

// sum += add - remove
SWEEP_KERNEL void slide(float* __restrict sum, const float* __restrict add, const float* __restrict remove,
                        int count)
{
    for (int x = 0; x < count; ++x)
        sum[x] += add[x] - remove[x];
}

SWEEP_KERNEL void accumulate(float* __restrict sum, const float* __restrict add, int count)
{
    for (int x = 0; x < count; ++x)
        sum[x] += add[x];
}

// out[x] = in[x] + ... + in[x + n - 1]
SWEEP_KERNEL void windowSums(const float* __restrict in, float* __restrict out, int count, int n)
{
    for (int x = 0; x < count; ++x)
        out[x] = in[x];
    for (int k = 1; k < n; ++k)
        for (int x = 0; x < count; ++x)
            out[x] += in[x + k];
}

// Normalised cross-correlation from the window sums; -1 where either window
// is flat.
SWEEP_KERNEL void correlation(const float* __restrict sw, const float* __restrict sww,
                              const float* __restrict siw, const float* __restrict sr,
                              const float* __restrict vr, float* __restrict ncc, int count, float invArea)
{
    for (int x = 0; x < count; ++x) {
        const float varW = sww[x] - sw[x] * sw[x] * invArea;
        const float den = varW * vr[x];
        const float num = siw[x] - sr[x] * sw[x] * invArea;
        const float value = num / std::sqrt(std::max(den, 1e-10f));
        ncc[x] = den > 1e-10f ? value : -1.f;
    }
}

// Keeps the best values per pixel in slot, best first; value is spent.
SWEEP_KERNEL void keepBest(float* __restrict slot, float* __restrict value, int count)
{
    for (int x = 0; x < count; ++x) {
        const float s = slot[x], v = value[x];
        slot[x] = std::max(s, v);
        value[x] = std::min(s, v);
    }
}

// Folds one plane's scores into the best so far; left and right hold the
// scores of the planes beside the best (-2 until known).
// The plane index is kept as a float, so that every lane has one width.
SWEEP_KERNEL void foldPlane(const float* __restrict score, float* __restrict best,
                            float* __restrict bestIndex, float* __restrict left, float* __restrict right,
                            float* __restrict previous, int count, float plane)
{
    for (int p = 0; p < count; ++p) {
        const float s = score[p], b = best[p], i = bestIndex[p], l = left[p], r = right[p],
                    before = previous[p];
        const bool better = s > b;
        const float nextRight = i == plane - 1.f ? s : r;
        right[p] = better ? -2.f : nextRight;
        left[p] = better ? before : l;
        bestIndex[p] = better ? plane : i;
        best[p] = better ? s : b;
        previous[p] = s;
    }
}

struct Sweep {
    const cv::Mat& gray;         // reference, centred on 0
    const cv::Mat& sumRef;       // window sums of the reference
    const cv::Mat& varRef;       // window sums of squares minus the squared sum over n
    std::vector<cv::Mat> others; // CV_8U
    std::vector<Transfer> transfers;
    int radius = 3;
    int agree = 2;

    // Rows y0..y1-1 of one family; returns the planes swept at full width.
    double band(Planes& family, int y0, int y1) const;
};

double Sweep::band(Planes& family, int y0, int y1) const
{
    const int W = gray.cols, r = radius, n = 2 * r + 1;
    const int rowsOut = y1 - y0, rowsIn = rowsOut + 2 * r;
    const float invArea = 1.f / float(n * n);
    const size_t width = static_cast<size_t>(W);
    const size_t cells = size_t(rowsOut) * width;
    const int m = agree;
    for (int t = 0; t < rowsOut; ++t) {
        std::fill(family.bestScore.ptr<float>(y0 + t), family.bestScore.ptr<float>(y0 + t) + W, -1.f);
        std::fill(family.bestS.ptr<float>(y0 + t), family.bestS.ptr<float>(y0 + t) + W, 0.f);
    }
    // Each column's planes over the band's rows, and the band's.
    std::vector<int> columnLo(width, INT_MAX), columnHi(width, INT_MIN);
    int from = INT_MAX, to = INT_MIN;
    for (int t = 0; t < rowsOut; ++t) {
        const int* lo = family.planeLo.ptr<int>(y0 + t);
        const int* hi = family.planeHi.ptr<int>(y0 + t);
        for (int x = r; x < W - r; ++x)
            if (lo[x] <= hi[x]) {
                columnLo[size_t(x)] = std::min(columnLo[size_t(x)], lo[x]);
                columnHi[size_t(x)] = std::max(columnHi[size_t(x)], hi[x]);
                from = std::min(from, lo[x]);
                to = std::max(to, hi[x]);
            }
    }
    if (from > to)
        return 0;

    std::vector<float> top(size_t(m) * cells), score(width);
    std::vector<float> best(cells, -2.f), left(cells, -2.f), right(cells, -2.f), previous(cells, -2.f);
    std::vector<float> bestIndex(cells, -1.f);
    std::vector<float> pw(size_t(rowsIn) * width), pww(pw.size()), piw(pw.size());
    std::vector<float> cw(width), cww(width), ciw(width), sw(width), sww(width), siw(width), ncc(width);
    std::vector<int> spanLo(static_cast<size_t>(rowsOut)), spanHi(static_cast<size_t>(rowsOut));
    std::vector<std::pair<int, int>> runs;
    cv::Mat warped;
    long long swept = 0;

    for (int plane = from; plane <= to; ++plane) {
        // Runs of columns that have a pixel to sweep at this plane; gaps
        // narrower than a window are swept through.
        runs.clear();
        for (int x = r; x < W - r; ++x) {
            if (columnLo[size_t(x)] > plane || columnHi[size_t(x)] < plane)
                continue;
            if (!runs.empty() && x - runs.back().second <= n + 8)
                runs.back().second = x;
            else
                runs.push_back({x, x});
        }
        for (const auto& run : runs) {
            swept += run.second - run.first + 1;
            for (int t = 0; t < rowsOut; ++t)
                for (int j = 0; j < m; ++j) {
                    float* row = top.data() + size_t(j) * cells + size_t(t) * width;
                    std::fill(row + run.first, row + run.second + 1, -1.f);
                }
        }
        for (size_t k = 0; k < others.size(); ++k) {
            const cv::Mat& other = others[k];
            const Mat33 H = transfers[k].at(family.s[size_t(plane)], family.g);
            for (const auto& run : runs) {
                int first = W, last = -1;
                for (int t = 0; t < rowsOut; ++t) {
                    int lo = 0, hi = -1;
                    if (!validSpan(H, family.g, y0 + t, W, other.cols, other.rows, r + 1.0, r, lo, hi))
                        lo = 0, hi = -1;
                    lo = std::max(lo, run.first);
                    hi = std::min(hi, run.second);
                    spanLo[size_t(t)] = lo;
                    spanHi[size_t(t)] = hi;
                    if (lo <= hi) {
                        first = std::min(first, lo);
                        last = std::max(last, hi);
                    }
                }
                if (first > last)
                    continue;
                // Warp only the columns the windows of these pixels touch.
                const int x0 = first - r, cols = last - first + 1 + 2 * r;
                const double shiftY = y0 - r;
                const cv::Matx33d Hb(H[0], H[1], H[0] * x0 + H[1] * shiftY + H[2], H[3], H[4],
                                     H[3] * x0 + H[4] * shiftY + H[5], H[6], H[7],
                                     H[6] * x0 + H[7] * shiftY + H[8]);
                cv::warpPerspective(other, warped, Hb, cv::Size(cols, rowsIn),
                                    cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_CONSTANT,
                                    cv::Scalar(0));
                for (int t = 0; t < rowsIn; ++t) {
                    const size_t row = size_t(t) * width;
                    products(warped.ptr<unsigned char>(t), gray.ptr<float>(y0 - r + t) + x0, pw.data() + row,
                             pww.data() + row, piw.data() + row, cols);
                }
                // Column sums over the window's rows, slid down the band.
                std::fill(cw.begin(), cw.begin() + cols, 0.f);
                std::fill(cww.begin(), cww.begin() + cols, 0.f);
                std::fill(ciw.begin(), ciw.begin() + cols, 0.f);
                for (int dy = 0; dy < n; ++dy) {
                    const size_t row = size_t(dy) * width;
                    accumulate(cw.data(), pw.data() + row, cols);
                    accumulate(cww.data(), pww.data() + row, cols);
                    accumulate(ciw.data(), piw.data() + row, cols);
                }
                for (int t = 0; t < rowsOut; ++t) {
                    if (t > 0) {
                        const size_t add = size_t(t + n - 1) * width, remove = size_t(t - 1) * width;
                        slide(cw.data(), pw.data() + add, pw.data() + remove, cols);
                        slide(cww.data(), pww.data() + add, pww.data() + remove, cols);
                        slide(ciw.data(), piw.data() + add, piw.data() + remove, cols);
                    }
                    const int lo = spanLo[size_t(t)], hi = spanHi[size_t(t)];
                    if (lo > hi)
                        continue;
                    const int count = hi - lo + 1, c = lo - x0 - r;
                    windowSums(cw.data() + c, sw.data(), count, n);
                    windowSums(cww.data() + c, sww.data(), count, n);
                    windowSums(ciw.data() + c, siw.data(), count, n);
                    correlation(sw.data(), sww.data(), siw.data(), sumRef.ptr<float>(y0 + t) + lo,
                                varRef.ptr<float>(y0 + t) + lo, ncc.data(), count, invArea);
                    float* out = top.data() + size_t(t) * width + size_t(lo);
                    for (int j = 0; j < m; ++j)
                        keepBest(out + size_t(j) * cells, ncc.data(), count);
                }
            }
        }
        // Only the runs' pixels took part: the others keep their state (a
        // pixel's planes are contiguous, so its neighbours in the sweep are
        // always among them).
        for (const auto& run : runs)
            for (int t = 0; t < rowsOut; ++t) {
                const size_t at = size_t(t) * width + size_t(run.first);
                const int count = run.second - run.first + 1;
                std::copy(top.data() + at, top.data() + at + count, score.data());
                for (int j = 1; j < m; ++j)
                    accumulate(score.data(), top.data() + size_t(j) * cells + at, count);
                for (int x = 0; x < count; ++x)
                    score[size_t(x)] /= float(m);
                foldPlane(score.data(), best.data() + at, bestIndex.data() + at, left.data() + at,
                          right.data() + at, previous.data() + at, count, float(plane));
            }
    }

    for (int t = 0; t < rowsOut; ++t) {
        float* outScore = family.bestScore.ptr<float>(y0 + t);
        float* outS = family.bestS.ptr<float>(y0 + t);
        const int* lo = family.planeLo.ptr<int>(y0 + t);
        const int* hi = family.planeHi.ptr<int>(y0 + t);
        for (int x = 0; x < W; ++x) {
            const size_t p = size_t(t) * width + size_t(x);
            const int i = int(bestIndex[p]);
            // A best at either end of the pixel's planes may lie beyond them.
            if (lo[x] > hi[x] || i <= lo[x] || i >= hi[x] || left[p] < -1.5f || right[p] < -1.5f)
                continue;
            outScore[x] = best[p];
            const double curvature = left[p] - 2.0 * best[p] + right[p];
            double offset = curvature < 0 ? (left[p] - right[p]) / (2.0 * curvature) : 0.0;
            offset = std::clamp(offset, -0.5, 0.5);
            outS[x] = float(family.s[size_t(i)] + offset * family.step);
        }
    }
    return double(swept) / W;
}

// The image reduced once more by two, whole blocks only.
cv::Mat halved(const cv::Mat& image)
{
    cv::Mat out;
    cv::resize(image(cv::Rect(0, 0, image.cols / 2 * 2, image.rows / 2 * 2)), out,
               cv::Size(image.cols / 2, image.rows / 2), 0, 0, cv::INTER_AREA);
    return out;
}

// Planes so that no neighbour shifts more than step pixels from one to the
// next, between s0 and s1 of a family, at a grid of reference pixels. Only
// the part of the shift inside the neighbour's image counts: the rest is
// never compared.
int planesBetween(const MvsCamera& camera, const std::vector<PlaneSweep::Neighbour>& neighbours,
                  const Vec3& g, double s0, double s1, double step, int most)
{
    constexpr int samples = 32;
    double widest = 0;
    for (const auto& nb : neighbours) {
        const double w = nb.gray->cols, h = nb.gray->rows;
        for (int gy = 0; gy <= 8; ++gy)
            for (int gx = 0; gx <= 8; ++gx) {
                const double u = (camera.width - 1) * gx / 8.0, v = (camera.height - 1) * gy / 8.0;
                const double along = g[0] * u + g[1] * v + g[2];
                if (!(along > 0))
                    continue;
                double shift = 0, pu = 0, pv = 0;
                bool previous = false;
                for (int i = 0; i <= samples; ++i) {
                    const double s = s0 + (s1 - s0) * i / samples;
                    double nu, nv, d;
                    const bool inside =
                        s > 0 && nb.camera->project(camera.backProject(u, v, 1.0 / (s * along)), nu, nv, d) &&
                        nu >= 0 && nv >= 0 && nu < w && nv < h;
                    if (inside && previous)
                        shift += std::hypot(nu - pu, nv - pv);
                    previous = inside;
                    pu = nu;
                    pv = nv;
                }
                widest = std::max(widest, shift);
            }
    }
    const double planes = std::ceil(widest / std::max(step, 1e-3)) + 1;
    return int(std::clamp(planes, 16.0, double(std::max(most, 16))));
}

} // namespace

DepthMap PlaneSweep::run(const cv::Mat& grayIn, const MvsCamera& camera,
                         const std::vector<Neighbour>& neighbours, double nearDepth, double farDepth,
                         const Settings& settings, const std::vector<Family>& extra)
{
    DepthMap map;
    map.camera = camera;
    const int W = grayIn.cols, H = grayIn.rows;
    const int r = std::max(1, settings.window / 2), n = 2 * r + 1;
    map.depth = cv::Mat::zeros(H, W, CV_32F);
    map.score = cv::Mat(H, W, CV_32F, cv::Scalar(-1));
    map.normal = cv::Mat::zeros(H, W, CV_32FC3);
    if (neighbours.empty() || W <= 2 * r + 2 || H <= 2 * r + 2 || !(nearDepth > 0) || !(farDepth > nearDepth))
        return map;
    const double rhoFar = 1.0 / farDepth, rhoNear = 1.0 / nearDepth;

    // First the whole range at half the size, where it costs an eighth;
    // then each pixel only near the depths found there.
    const bool coarseToFine = settings.coarseToFine && W / 2 >= 96 && H / 2 >= 96;
    // Only the sweep over the whole range pays for every plane.
    const int most = coarseToFine ? 16 * settings.maxPlanes : settings.maxPlanes;

    std::vector<Planes> families(1);
    families[0].s = {rhoFar, rhoNear};
    for (const Family& family : extra) {
        if (!coarseToFine && !family.wholeRange)
            continue;
        const auto& M = camera.inverseBlock();
        const auto& N = family.normal;
        Planes planes;
        planes.g = {M[0] * N[0] + M[3] * N[1] + M[6] * N[2], M[1] * N[0] + M[4] * N[1] + M[7] * N[2],
                    M[2] * N[0] + M[5] * N[1] + M[8] * N[2]};
        planes.s = {1.0 / family.farthest, 1.0 / family.nearest};
        planes.normal = family.normal;
        families.push_back(planes);
    }
    for (Planes& family : families) {
        const double s0 = family.s.front(), s1 = family.s.back();
        const int planes = planesBetween(camera, neighbours, family.g, s0, s1, settings.planeStep, most);
        family.step = (s1 - s0) / (planes - 1);
        family.s.resize(size_t(planes));
        for (int i = 0; i < planes; ++i)
            family.s[size_t(i)] = s0 + family.step * i;
        family.planeLo = cv::Mat(H, W, CV_32S, cv::Scalar(0));
        family.planeHi = cv::Mat(H, W, CV_32S, cv::Scalar(planes - 1));
        family.bestScore = cv::Mat(H, W, CV_32F, cv::Scalar(-1));
        family.bestS = cv::Mat::zeros(H, W, CV_32F);
    }
    map.planes = int(families[0].s.size());
    // Planes seen within 10 degrees of edge-on show a pixel nothing a
    // window could match: such pixels skip that family.
    for (size_t f = 1; f < families.size(); ++f) {
        Planes& family = families[f];
        const auto& M = camera.inverseBlock();
        for (int y = 0; y < H; ++y) {
            int* lo = family.planeLo.ptr<int>(y);
            int* hi = family.planeHi.ptr<int>(y);
            for (int x = 0; x < W; ++x) {
                const double ray[3] = {M[0] * x + M[1] * y + M[2], M[3] * x + M[4] * y + M[5],
                                       M[6] * x + M[7] * y + M[8]};
                const double along = family.g[0] * x + family.g[1] * y + family.g[2];
                if (along < 0.17 * std::sqrt(ray[0] * ray[0] + ray[1] * ray[1] + ray[2] * ray[2])) {
                    lo[x] = 1;
                    hi[x] = 0;
                }
            }
        }
    }

    if (coarseToFine) {
        MvsCamera sized = camera;
        sized.width = W;
        sized.height = H;
        std::vector<cv::Mat> grays;
        std::vector<MvsCamera> cameras;
        grays.reserve(neighbours.size());
        cameras.reserve(neighbours.size());
        std::vector<Neighbour> coarseNeighbours;
        for (const Neighbour& nb : neighbours) {
            grays.push_back(halved(*nb.gray));
            MvsCamera c = *nb.camera;
            c.width = nb.gray->cols;
            c.height = nb.gray->rows;
            cameras.push_back(c.atLevel(1));
            coarseNeighbours.push_back({&grays.back(), &cameras.back()});
        }
        Settings coarseSettings = settings;
        coarseSettings.threshold = std::max(0.3, settings.threshold - 0.1);
        const DepthMap coarse = run(halved(grayIn), sized.atLevel(1), coarseNeighbours, nearDepth, farDepth,
                                    coarseSettings, extra);
        map.swept += coarse.swept / 4;
        // Each pixel is swept over the depths of the coarse pixels around
        // it, with a margin; a pixel with none around it is left out.
        const float inf = std::numeric_limits<float>::infinity();
        cv::Mat rho(coarse.depth.size(), CV_32F), rhoLo, rhoHi;
        for (int y = 0; y < rho.rows; ++y)
            for (int x = 0; x < rho.cols; ++x) {
                const float d = coarse.depth.at<float>(y, x);
                rho.at<float>(y, x) = d > 0 ? 1.f / d : inf;
            }
        cv::erode(rho, rhoLo, cv::Mat(), cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::Scalar(inf));
        rho.setTo(-inf, rho == inf);
        cv::dilate(rho, rhoHi, cv::Mat(), cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::Scalar(-inf));
        const int margin = 4;
        for (Planes& family : families) {
            const int planes = int(family.s.size());
            for (int y = 0; y < H; ++y) {
                const int cy = std::min(rho.rows - 1, y / 2);
                int* lo = family.planeLo.ptr<int>(y);
                int* hi = family.planeHi.ptr<int>(y);
                for (int x = 0; x < W; ++x) {
                    const int cx = std::min(rho.cols - 1, x / 2);
                    const double a = rhoLo.at<float>(cy, cx), b = rhoHi.at<float>(cy, cx);
                    const double along = family.g[0] * x + family.g[1] * y + family.g[2];
                    // A family is refined only where the coarse surface
                    // turns less than 50 degrees from its planes.
                    const cv::Vec3f n = coarse.normal.at<cv::Vec3f>(cy, cx);
                    const double turn =
                        std::abs(n[0] * family.normal[0] + n[1] * family.normal[1] + n[2] * family.normal[2]);
                    const bool facing =
                        family.normal == Vec3{} || coarse.depth.at<float>(cy, cx) == 0 || turn > 0.64;
                    if (!(a <= b) || !(along > 0) || lo[x] > hi[x] || !facing) {
                        lo[x] = 1;
                        hi[x] = 0;
                        continue;
                    }
                    // 1 / depth = s (g.x): the family's planes at these depths.
                    const double s0 = a / along, s1 = b / along;
                    lo[x] = std::max(0, int(std::floor((s0 - family.s.front()) / family.step)) - margin);
                    hi[x] =
                        std::min(planes - 1, int(std::ceil((s1 - family.s.front()) / family.step)) + margin);
                }
            }
        }
    }

    // Centred on zero: the window sums then cancel less.
    cv::Mat gray = grayIn - 0.5;
    cv::Mat sumRef, sumSq, varRef;
    cv::boxFilter(gray, sumRef, CV_32F, cv::Size(n, n), cv::Point(-1, -1), false, cv::BORDER_REFLECT);
    cv::boxFilter(gray.mul(gray), sumSq, CV_32F, cv::Size(n, n), cv::Point(-1, -1), false,
                  cv::BORDER_REFLECT);
    varRef = sumSq - sumRef.mul(sumRef) / float(n * n);

    Sweep sweep{gray, sumRef, varRef, {}, {}, r, 1};
    // Neighbours are warped as bytes, which OpenCV interpolates fastest.
    for (const Neighbour& nb : neighbours) {
        cv::Mat bytes;
        nb.gray->convertTo(bytes, CV_8U, 255.0);
        sweep.others.push_back(bytes);
        sweep.transfers.push_back(transfer(camera, *nb.camera));
    }
    sweep.agree = std::clamp(settings.agree, 1, int(neighbours.size()));

    const int bandRows = 32;
    const int first = r, last = H - r; // rows whose window lies inside the image
    const int bands = (last - first + bandRows - 1) / bandRows;
    for (Planes& family : families) {
        std::vector<double> swept(size_t(bands), 0);
        cv::parallel_for_(
            cv::Range(0, bands),
            [&](const cv::Range& range) {
                for (int b = range.start; b < range.end; ++b)
                    swept[size_t(b)] =
                        sweep.band(family, first + b * bandRows, std::min(last, first + (b + 1) * bandRows));
            },
            bands);
        for (double s : swept)
            map.swept += s * bandRows / (last - first);
    }

    // The best family's depth; flat windows correlate with anything, so a
    // pixel needs some texture.
    const float minVariance = float(n * n) * 1e-5f;
    for (int y = r; y < H - r; ++y) {
        const float* v = varRef.ptr<float>(y);
        float* d = map.depth.ptr<float>(y);
        float* sc = map.score.ptr<float>(y);
        for (int x = r; x < W - r; ++x) {
            for (const Planes& family : families) {
                const float s = family.bestScore.at<float>(y, x);
                if (s <= sc[x])
                    continue;
                sc[x] = s;
                const double inverse =
                    family.bestS.at<float>(y, x) * (family.g[0] * x + family.g[1] * y + family.g[2]);
                d[x] =
                    s >= settings.threshold && inverse > 0 && v[x] > minVariance ? float(1.0 / inverse) : 0.f;
            }
        }
    }

    // Small islands of depths unlike their surroundings are mismatches.
    // Inverse depths in sixteenths of a frontal plane, clear of 0 (which
    // marks no depth).
    const Planes& frontal = families[0];
    cv::Mat planeIndex(H, W, CV_16S);
    const double scale = std::min(16.0, 30000.0 / frontal.s.size()) / frontal.step;
    for (int y = 0; y < H; ++y) {
        const float* d = map.depth.ptr<float>(y);
        short* q = planeIndex.ptr<short>(y);
        for (int x = 0; x < W; ++x) {
            const double index = d[x] > 0 ? 1000.0 + (1.0 / d[x] - rhoFar) * scale : 0.0;
            q[x] = index > 0 && index < 32000 ? short(std::lround(index)) : short(0);
        }
    }
    cv::filterSpeckles(planeIndex, 0, std::max(20, W * H / 4000), 2.0 * scale * frontal.step);
    for (int y = 0; y < H; ++y) {
        const short* q = planeIndex.ptr<short>(y);
        float* d = map.depth.ptr<float>(y);
        for (int x = 0; x < W; ++x)
            if (q[x] == 0)
                d[x] = 0;
    }
    computeNormals(map);
    return map;
}

void PlaneSweep::computeNormals(DepthMap& map)
{
    const int W = map.depth.cols, H = map.depth.rows, s = 2;
    const MvsCamera& cam = map.camera;
    const auto point = [&](int x, int y, MvsCamera::Vec3& p) {
        if (x < 0 || y < 0 || x >= W || y >= H)
            return false;
        const float d = map.depth.at<float>(y, x);
        if (!(d > 0))
            return false;
        p = cam.backProject(x, y, d);
        return true;
    };
    cv::parallel_for_(cv::Range(0, H), [&](const cv::Range& range) {
        for (int y = range.start; y < range.end; ++y) {
            cv::Vec3f* out = map.normal.ptr<cv::Vec3f>(y);
            for (int x = 0; x < W; ++x) {
                MvsCamera::Vec3 c;
                if (!point(x, y, c))
                    continue;
                const double d0 = map.depth.at<float>(y, x);
                const auto near = [&](const MvsCamera::Vec3& p) {
                    double u, v, d;
                    return cam.project(p, u, v, d) && std::abs(d - d0) < 0.05 * d0;
                };
                // Central differences where both sides lie on the same
                // surface, else one-sided ones.
                MvsCamera::Vec3 a, b, tangent[2];
                bool ok[2] = {false, false};
                for (int axis = 0; axis < 2; ++axis) {
                    const int dx = axis == 0 ? s : 0, dy = axis == 0 ? 0 : s;
                    const bool hasA = point(x + dx, y + dy, a) && near(a);
                    const bool hasB = point(x - dx, y - dy, b) && near(b);
                    const MvsCamera::Vec3& from = hasB ? b : c;
                    const MvsCamera::Vec3& to = hasA ? a : c;
                    if (hasA || hasB) {
                        tangent[axis] = {to[0] - from[0], to[1] - from[1], to[2] - from[2]};
                        ok[axis] = true;
                    }
                }
                const auto viewRay = cam.ray(x, y);
                MvsCamera::Vec3 nrm = {-viewRay[0], -viewRay[1], -viewRay[2]};
                if (ok[0] && ok[1]) {
                    const auto& t0 = tangent[0];
                    const auto& t1 = tangent[1];
                    MvsCamera::Vec3 c3 = {t0[1] * t1[2] - t0[2] * t1[1], t0[2] * t1[0] - t0[0] * t1[2],
                                          t0[0] * t1[1] - t0[1] * t1[0]};
                    const double len = std::sqrt(c3[0] * c3[0] + c3[1] * c3[1] + c3[2] * c3[2]);
                    if (len > 0) {
                        const double facing = c3[0] * viewRay[0] + c3[1] * viewRay[1] + c3[2] * viewRay[2];
                        const double sign = facing > 0 ? -1.0 : 1.0;
                        nrm = {sign * c3[0] / len, sign * c3[1] / len, sign * c3[2] / len};
                    }
                }
                out[x] = cv::Vec3f(float(nrm[0]), float(nrm[1]), float(nrm[2]));
            }
        }
    });
}
