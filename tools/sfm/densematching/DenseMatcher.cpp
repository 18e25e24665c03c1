#include "DenseMatcher.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <ostream>
#include <sstream>

#include "DepthFusion.h"
#include "OutlierFilter.h"
#include "PlaneSweep.h"
#include "ProgressLine.h"
#include "ViewSelector.h"

DenseMatcher::Options DenseMatcher::fromPmvs(const PmvsOptions& o)
{
    Options options;
    options.level = o.level;
    options.csize = o.csize;
    options.threshold = o.threshold;
    options.window = o.wsize | 1;
    options.minImageNum = o.minImageNum;
    options.threads = o.cpus;
    return options;
}

DenseMatcher::DenseMatcher(const MvsScene& scene, const Options& options) : m_scene(scene), m_options(options)
{
}

void DenseMatcher::setStore(const DepthMapStore* store, std::vector<int> handOn)
{
    m_store = store;
    m_handOn = std::move(handOn);
}

std::string DenseMatcher::mapKey() const
{
    std::ostringstream key;
    key.imbue(std::locale::classic());
    key.precision(17);
    key << "level " << m_options.level << " window " << m_options.window << " threshold " << m_options.threshold
        << " agree " << std::max(1, m_options.minImageNum - 1) << " neighbours " << m_options.maxNeighbours;
    return key.str();
}

bool DenseMatcher::loadImages(const std::vector<int>& views, std::string* error)
{
    const int n = int(m_scene.cameras.size());
    m_gray.assign(size_t(n), {});
    m_colour.assign(size_t(n), {});
    m_cameras = m_scene.cameras;
    std::vector<std::string> errors(views.size());
    const int level = m_options.level;
    const int unit = 1 << level;
    cv::parallel_for_(cv::Range(0, int(views.size())), [&](const cv::Range& range) {
        for (int k = range.start; k < range.end; ++k) {
            const int v = views[size_t(k)];
            const cv::Mat image = cv::imread(m_scene.images[size_t(v)], cv::IMREAD_COLOR);
            if (image.empty()) {
                errors[size_t(k)] = "cannot read image " + m_scene.images[size_t(v)];
                continue;
            }
            const int w = image.cols / unit, h = image.rows / unit;
            if (w < 16 || h < 16) {
                errors[size_t(k)] =
                    m_scene.images[size_t(v)] + " is too small for level " + std::to_string(level);
                continue;
            }
            MvsCamera& camera = m_cameras[size_t(v)];
            camera.width = image.cols;
            camera.height = image.rows;
            camera = camera.atLevel(level);
            // Whole blocks only, so every reduced pixel is the mean of one.
            cv::Mat colour;
            cv::resize(image(cv::Rect(0, 0, w * unit, h * unit)), colour, cv::Size(w, h), 0, 0,
                       cv::INTER_AREA);
            cv::Mat gray;
            cv::cvtColor(colour, gray, cv::COLOR_BGR2GRAY);
            gray.convertTo(m_gray[size_t(v)], CV_32F, 1.0 / 255.0);
            m_colour[size_t(v)] = colour;
        }
    });
    for (const std::string& e : errors)
        if (!e.empty()) {
            if (error)
                *error = e;
            return false;
        }
    return true;
}

bool DenseMatcher::run(const std::vector<int>& targets, const std::vector<int>& others, std::string* error,
                       std::ostream* log)
{
    using Clock = std::chrono::steady_clock;
    const auto seconds = [](Clock::time_point since) {
        return std::chrono::duration<double>(Clock::now() - since).count();
    };
    const int n = int(m_scene.cameras.size());
    std::vector<int> views;
    for (const auto* list : {&targets, &others})
        for (int v : *list)
            if (v >= 0 && v < n && std::find(views.begin(), views.end(), v) == views.end())
                views.push_back(v);
    if (views.empty()) {
        if (error)
            *error = "no view to match";
        return false;
    }
    const int threadsBefore = cv::getNumThreads();
    cv::setNumThreads(std::max(1, m_options.threads));
    const auto start = Clock::now();
    if (!loadImages(views, error)) {
        cv::setNumThreads(threadsBefore);
        return false;
    }
    if (log)
        *log << "read " << views.size() << " images at level " << m_options.level << " in " << seconds(start)
             << " s\n";

    PlaneSweep::Settings sweep;
    sweep.window = m_options.window;
    sweep.threshold = m_options.threshold;
    sweep.agree = std::max(1, m_options.minImageNum - 1);
    // The plane most points lie on, within a hundredth of the typical
    // distance from the cameras.
    DominantPlane plane;
    bool hasPlane = false;
    {
        std::vector<std::array<double, 3>> points;
        std::vector<double> distances;
        for (const auto& p : m_scene.points) {
            points.push_back(p.position);
            if (!p.views.empty()) {
                const auto& C = m_scene.cameras[size_t(p.views.front())].centre();
                distances.push_back(
                    std::hypot(p.position[0] - C[0], p.position[1] - C[1], p.position[2] - C[2]));
            }
        }
        if (!distances.empty()) {
            std::nth_element(distances.begin(), distances.begin() + long(distances.size() / 2),
                             distances.end());
            hasPlane = plane.find(points, 0.01 * distances[distances.size() / 2]);
        }
        if (hasPlane && log)
            *log << "dominant plane: normal " << plane.normal[0] << ' ' << plane.normal[1] << ' '
                 << plane.normal[2] << ", " << std::lround(100 * plane.share) << "% of the sparse points\n";
    }

    // Partners: views sharing sparse points, then the sweep neighbours.
    std::vector<char> inRun(size_t(n), 0), isTarget(size_t(n), 0);
    for (int v : views)
        inRun[size_t(v)] = 1;
    for (int v : targets)
        if (v >= 0 && v < n)
            isTarget[size_t(v)] = 1;
    std::vector<std::vector<int>> partners(static_cast<size_t>(n));
    {
        std::vector<std::vector<char>> linked(static_cast<size_t>(n));
        for (int v : views)
            linked[size_t(v)].assign(size_t(n), 0);
        for (const auto& p : m_scene.points)
            for (int a : p.views)
                if (a >= 0 && a < n && inRun[size_t(a)])
                    for (int b : p.views)
                        if (b != a && b >= 0 && b < n && inRun[size_t(b)] && !linked[size_t(a)][size_t(b)]) {
                            linked[size_t(a)][size_t(b)] = 1;
                            partners[size_t(a)].push_back(b);
                        }
    }
    std::vector<char> swept(size_t(n), 0), fused(size_t(n), 0);
    DepthFusion::Settings fusionSettings;
    fusionSettings.csize = m_options.csize;
    fusionSettings.minViews = m_options.minImageNum;
    fusionSettings.depthTolerance = m_options.depthTolerance;
    DepthFusion fusion(fusionSettings, n);
    m_cloud = DenseCloud();
    double fusionSeconds = 0;
    int held = 0;
    // Fuses every target whose partners are all swept, then releases the
    // maps no target still to be fused needs.
    const auto fuseReady = [&](bool all) {
        const auto began = Clock::now();
        for (int r : targets) {
            if (r < 0 || r >= n || fused[size_t(r)] || !swept[size_t(r)])
                continue;
            bool ready = true;
            for (int j : partners[size_t(r)])
                ready = ready && (all || swept[size_t(j)]);
            if (!ready)
                continue;
            fusion.fuseView(r, m_maps, m_colour, partners[size_t(r)], m_cloud);
            fused[size_t(r)] = 1;
        }
        if (!m_options.keepMaps) {
            std::vector<char> needed(size_t(n), 0);
            for (int r : targets)
                if (r >= 0 && r < n && !fused[size_t(r)]) {
                    needed[size_t(r)] = 1;
                    for (int j : partners[size_t(r)])
                        needed[size_t(j)] = 1;
                }
            for (int v : views)
                if (!needed[size_t(v)] && swept[size_t(v)] && !m_maps[size_t(v)].empty()) {
                    m_maps[size_t(v)] = DepthMap();
                    m_colour[size_t(v)].release();
                    --held;
                }
        }
        fusionSeconds += seconds(began);
    };

    m_maps.assign(size_t(n), {});
    m_peakMaps = 0;
    m_sweptViews = m_readViews = 0;
    const std::string key = m_store ? mapKey() : std::string();
    std::vector<char> handOn(size_t(n), 0);
    for (int v : m_handOn)
        if (v >= 0 && v < n && isTarget[size_t(v)])
            handOn[size_t(v)] = 1;
    ProgressLine progress(log, "depth maps", views.size(), "views");
    // Counted when a view is done, skipped or swept.
    for (size_t k = 0; k < views.size(); ++k, progress.step()) {
        const int v = views[k];
        const auto began = Clock::now();
        // A helping view that an earlier cluster swept as its target: that
        // map, made among the view's own best neighbours, serves here too.
        if (m_store && !isTarget[size_t(v)] && m_store->load(v, key, m_cameras[size_t(v)], m_maps[size_t(v)])) {
            ++m_readViews;
            m_peakMaps = std::max(m_peakMaps, ++held);
            if (log)
                *log << "depth map " << k + 1 << "/" << views.size() << ": view " << v
                     << " read from an earlier cluster, " << m_maps[size_t(v)].validCount() << " pixels\n";
            swept[size_t(v)] = 1;
            fuseReady(false);
            continue;
        }
        const ViewSelector::Choice choice = ViewSelector::choose(
            m_scene, m_cameras, v, views, m_options.maxNeighbours, hasPlane ? &plane : nullptr);
        if (!choice.usable()) {
            if (log)
                *log << "view " << v << ": no neighbour shares enough points; skipped\n";
            swept[size_t(v)] = 1;
            fuseReady(false);
            continue;
        }
        std::vector<PlaneSweep::Neighbour> neighbours;
        for (int j : choice.neighbours)
            neighbours.push_back({&m_gray[size_t(j)], &m_cameras[size_t(j)]});
        m_maps[size_t(v)] = PlaneSweep::run(m_gray[size_t(v)], m_cameras[size_t(v)], neighbours,
                                            choice.nearDepth, choice.farDepth, sweep, choice.families);
        ++m_sweptViews;
        if (!m_maps[size_t(v)].empty())
            m_peakMaps = std::max(m_peakMaps, ++held);
        std::string storeError;
        if (handOn[size_t(v)] && !m_maps[size_t(v)].empty() &&
            !m_store->save(v, key, m_maps[size_t(v)], &storeError) && log)
            *log << "note: " << storeError << "; a later cluster sweeps view " << v << " again\n";
        for (int j : choice.neighbours)
            if (std::find(partners[size_t(v)].begin(), partners[size_t(v)].end(), j) ==
                partners[size_t(v)].end())
                partners[size_t(v)].push_back(j);
        if (log) {
            *log << "depth map " << k + 1 << "/" << views.size() << ": view " << v << " with";
            for (int j : choice.neighbours)
                *log << ' ' << j;
            const DepthMap& map = m_maps[size_t(v)];
            if (!choice.families.empty())
                *log << " (planes in " << choice.families.size() + 1 << " directions)";
            *log << ", depths " << choice.nearDepth << ".." << choice.farDepth << ", " << map.planes
                 << " planes (" << std::lround(map.swept) << " swept), " << map.validCount() << " pixels, "
                 << seconds(began) << " s\n";
            log->flush();
        }
        swept[size_t(v)] = 1;
        fuseReady(false);
    }

    std::vector<cv::Mat>().swap(m_gray);
    const auto fusing = Clock::now();
    fuseReady(true);
    const size_t fusedPoints = m_cloud.points.size();
    OutlierFilter::Settings filter;
    filter.minViews = m_options.minImageNum;
    const OutlierFilter::Result removed = OutlierFilter::apply(m_cloud, filter);
    if (log)
        *log << "fused " << fusedPoints << " points (at most " << m_peakMaps << " depth maps held), "
             << removed.isolated << " isolated and " << removed.fewViews
             << " seen by too few views removed (spacing " << removed.spacing << "), in "
             << fusionSeconds + seconds(fusing) << " s; " << seconds(start) << " s in all\n";
    cv::setNumThreads(threadsBefore);
    return true;
}
