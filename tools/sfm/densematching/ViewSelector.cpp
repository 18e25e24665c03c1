#include "ViewSelector.h"

#include <algorithm>
#include <cmath>

double ViewSelector::angleWeight(double degrees)
{
    if (degrees < 1.0)
        return 0;
    if (degrees <= 40.0)
        return std::min(1.0, degrees / 8.0);
    return std::max(0.0, 1.0 - (degrees - 40.0) / 30.0);
}

ViewSelector::Choice ViewSelector::choose(const MvsScene& scene, const std::vector<MvsCamera>& cameras,
                                          int reference, const std::vector<int>& candidates,
                                          int maxNeighbours, const DominantPlane* plane)
{
    Choice choice;
    const int n = int(cameras.size());
    std::vector<char> allowed(size_t(n), 0);
    for (int c : candidates)
        if (c >= 0 && c < n && c != reference)
            allowed[size_t(c)] = 1;
    if (size_t(reference) < scene.partners.size()) {
        std::vector<char> partner(size_t(n), 0);
        for (int p : scene.partners[size_t(reference)])
            if (p >= 0 && p < n)
                partner[size_t(p)] = 1;
        for (int v = 0; v < n; ++v)
            allowed[size_t(v)] &= partner[size_t(v)];
    }

    const MvsCamera& ref = cameras[size_t(reference)];
    const auto& C = ref.centre();
    std::vector<double> score(size_t(n), 0.0);
    std::vector<double> depths;
    std::vector<const MvsScene::Point*> seen;
    for (const auto& p : scene.points) {
        if (std::find(p.views.begin(), p.views.end(), reference) == p.views.end())
            continue;
        double u, v, d;
        if (ref.project(p.position, u, v, d)) {
            depths.push_back(d);
            seen.push_back(&p);
        }
        const double a[3] = {p.position[0] - C[0], p.position[1] - C[1], p.position[2] - C[2]};
        const double la = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
        for (int j : p.views) {
            if (j < 0 || j >= n || !allowed[size_t(j)])
                continue;
            const auto& D = cameras[size_t(j)].centre();
            const double b[3] = {p.position[0] - D[0], p.position[1] - D[1], p.position[2] - D[2]};
            const double lb = std::sqrt(b[0] * b[0] + b[1] * b[1] + b[2] * b[2]);
            if (la == 0 || lb == 0)
                continue;
            const double cosine =
                std::clamp((a[0] * b[0] + a[1] * b[1] + a[2] * b[2]) / (la * lb), -1.0, 1.0);
            score[size_t(j)] += angleWeight(std::acos(cosine) * 180.0 / M_PI);
        }
    }
    // A view that sees too few points of its own still gets a range from
    // every point in front of it within its image.
    if (depths.size() < 3) {
        depths.clear();
        seen.clear();
        for (const auto& p : scene.points) {
            double u, v, d;
            if (ref.project(p.position, u, v, d) && u >= 0 && v >= 0 && u < ref.width && v < ref.height) {
                depths.push_back(d);
                seen.push_back(&p);
            }
        }
    }
    if (depths.empty())
        return choice;
    std::sort(depths.begin(), depths.end());
    const size_t cut = depths.size() / 50;
    choice.nearDepth = depths[cut] * 0.8;
    choice.farDepth = depths[depths.size() - 1 - cut] * 1.25;

    // Families of planes besides the frontal ones, each oriented away from
    // the camera and spanning the distances of the reference's points.
    const auto addFamily = [&](std::array<double, 3> normal, bool wholeRange) {
        PlaneSweep::Family family;
        family.normal = normal;
        family.wholeRange = wholeRange;
        std::vector<double> distances;
        for (const auto* p : seen)
            distances.push_back(normal[0] * (p->position[0] - C[0]) + normal[1] * (p->position[1] - C[1]) +
                                normal[2] * (p->position[2] - C[2]));
        std::sort(distances.begin(), distances.end());
        if (!distances.empty() && distances[distances.size() / 2] < 0) {
            for (double& x : family.normal)
                x = -x;
            for (double& h : distances)
                h = -h;
            std::sort(distances.begin(), distances.end());
        }
        distances.erase(distances.begin(), std::upper_bound(distances.begin(), distances.end(), 0.0));
        if (distances.size() < 3)
            return;
        const size_t trim = distances.size() / 50;
        family.nearest = distances[trim] * 0.8;
        family.farthest = distances[distances.size() - 1 - trim] * 1.25;
        choice.families.push_back(family);
    };
    const auto dot = [](const std::array<double, 3>& a, const std::array<double, 3>& b) {
        return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
    };
    const auto axis = ref.ray(ref.width / 2.0, ref.height / 2.0);
    if (plane) {
        // Seen within 25 degrees of head-on, it adds nothing to the frontal
        // planes.
        if (std::abs(dot(plane->normal, axis)) < std::cos(25.0 * M_PI / 180.0))
            addFamily(plane->normal, true);
        // When it is the ground (the reference's image up lies within 35
        // degrees of its normal), upright surfaces turned left, right or
        // towards the camera get planes of their own: walls, faces of
        // objects, trenches. They refine what the coarser sweeps found.
        const auto above = ref.ray(ref.width / 2.0, ref.height / 2.0 - 1.0);
        std::array<double, 3> imageUp = {above[0] - axis[0], above[1] - axis[1], above[2] - axis[2]};
        const double length = std::sqrt(dot(imageUp, imageUp));
        std::array<double, 3> up = plane->normal;
        if (length > 0 && std::abs(dot(up, imageUp)) / length > std::cos(35.0 * M_PI / 180.0)) {
            if (dot(up, imageUp) < 0)
                for (double& x : up)
                    x = -x;
            std::array<double, 3> ahead = {axis[0] - dot(axis, up) * up[0], axis[1] - dot(axis, up) * up[1],
                                           axis[2] - dot(axis, up) * up[2]};
            const double a = std::sqrt(dot(ahead, ahead));
            for (double& x : ahead)
                x /= a;
            const std::array<double, 3> side = {up[1] * ahead[2] - up[2] * ahead[1],
                                                up[2] * ahead[0] - up[0] * ahead[2],
                                                up[0] * ahead[1] - up[1] * ahead[0]};
            for (double degrees : {-45.0, 0.0, 45.0}) {
                const double t = degrees * M_PI / 180.0;
                addFamily({std::cos(t) * ahead[0] + std::sin(t) * side[0],
                           std::cos(t) * ahead[1] + std::sin(t) * side[1],
                           std::cos(t) * ahead[2] + std::sin(t) * side[2]},
                          false);
            }
        }
    }

    std::vector<int> order;
    for (int v = 0; v < n; ++v)
        if (score[size_t(v)] > 0)
            order.push_back(v);
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return score[size_t(a)] > score[size_t(b)]; });
    if (int(order.size()) > maxNeighbours)
        order.resize(size_t(std::max(0, maxNeighbours)));
    // A view that shares a fifth of what the best one shares sees the scene
    // from too far round to match: it would only stretch the sweep.
    while (!order.empty() && score[size_t(order.back())] < 0.2 * score[size_t(order.front())])
        order.pop_back();
    choice.neighbours = order;
    return choice;
}
