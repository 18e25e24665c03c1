#include "ControlTargets.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "SiteModel.h"
#include "SurveyCamera.h"

std::vector<ControlTargets::Target> ControlTargets::place(const SiteModel& site, int count, double size,
                                                         std::uint64_t seed)
{
    std::mt19937_64 random(seed * 104729 + 3);
    auto unit = [&] { return double(random() >> 11) * 0x1p-53; };
    std::vector<Target> targets;
    // A jittered grid over the inner site, so the targets surround the work.
    const int across = std::max(1, int(std::ceil(std::sqrt(count * site.width() / site.depth()))));
    const int down = (count + across - 1) / across;
    for (int k = 0; k < across * down && int(targets.size()) < count; ++k) {
        const int i = k % across, j = k / across;
        for (int attempt = 0; attempt < 200; ++attempt) {
            const double x = site.width() * (0.08 + 0.84 * (i + 0.2 + 0.6 * unit()) / across);
            const double y = site.depth() * (0.08 + 0.84 * (j + 0.2 + 0.6 * unit()) / down);
            bool clear = true;
            for (double dx = -size; dx <= size && clear; dx += size / 2)
                for (double dy = -size; dy <= size && clear; dy += size / 2)
                    clear = site.materialAt(x + dx, y + dy) == 0;
            if (!clear && attempt < 199)
                continue;
            char name[16];
            std::snprintf(name, sizeof name, "GCP%02d", int(targets.size()) + 1);
            targets.push_back({name, x, y, site.heightAt(x, y)});
            break;
        }
    }
    return targets;
}

std::vector<ControlTargets::Observation> ControlTargets::seenBy(const SurveyCamera& camera, const SiteModel& site,
                                                                const std::vector<Target>& targets, double margin)
{
    std::vector<Observation> seen;
    for (const Target& t : targets) {
        const double p[3] = {t.x, t.y, t.z};
        double u, v;
        if (!camera.project(p, &u, &v) || u < margin || v < margin || u > camera.width - margin ||
            v > camera.height - margin)
            continue;
        // Unoccluded when the ray from the camera first meets the ground at the target.
        const double d[3] = {p[0] - camera.centre[0], p[1] - camera.centre[1], p[2] - camera.centre[2]};
        const double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        const double unitDirection[3] = {d[0] / length, d[1] / length, d[2] / length};
        double hit;
        if (!site.intersect(camera.centre, unitDirection, length + 1, &hit) || std::abs(hit - length) > 0.05)
            continue;
        seen.push_back({t.name, u, v});
    }
    return seen;
}
