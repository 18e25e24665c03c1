#include "SiteModel.h"

#include "common/text/LineWords.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <sstream>

namespace
{

// Uniform in [0, 1) from a generator whose sequence the standard fixes, so a
// seed gives the same site on every machine.
double unit(std::mt19937_64& random)
{
    return double(random() >> 11) * 0x1p-53;
}

double between(std::mt19937_64& random, double a, double b)
{
    return a + (b - a) * unit(random);
}

std::string number(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

double segmentDistance(double px, double py, double x0, double y0, double x1, double y1)
{
    const double dx = x1 - x0, dy = y1 - y0, length2 = dx * dx + dy * dy;
    double t = length2 > 0 ? ((px - x0) * dx + (py - y0) * dy) / length2 : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(px - (x0 + t * dx), py - (y0 + t * dy));
}

} // namespace

const double SiteModel::maxGridVertices = 6e7;

SiteModel SiteModel::generate(double width, double depth, double spacing, std::uint64_t seed, double margin)
{
    SiteModel site;
    site.m_margin = margin;
    site.m_width = width;
    site.m_depth = depth;
    site.m_spacing = spacing;
    site.m_seed = seed;
    std::mt19937_64 random(seed);
    const double area = width * depth;
    const int trenches = std::max(2, int(std::lround(area / 2500)));
    for (int t = 0; t < trenches; ++t) {
        const double length = between(random, 5, 12), breadth = between(random, 2, 4);
        const bool alongEast = unit(random) < 0.5;
        const double w = alongEast ? length : breadth, d = alongEast ? breadth : length;
        const double x0 = between(random, 0.12 * width, std::max(0.12 * width, 0.88 * width - w));
        const double y0 = between(random, 0.12 * depth, std::max(0.12 * depth, 0.88 * depth - d));
        site.m_trenches.push_back({x0, y0, x0 + w, y0 + d, between(random, 0.8, 1.6)});
        // The spoil goes beside the trench.
        const double side = unit(random) < 0.5 ? -1 : 1;
        const double hx = alongEast ? x0 + w / 2 : (side < 0 ? x0 - 3.5 : x0 + w + 3.5);
        const double hy = alongEast ? (side < 0 ? y0 - 3.5 : y0 + d + 3.5) : y0 + d / 2;
        site.m_heaps.push_back({hx, hy, between(random, 1.2, 2.5), between(random, 1.5, 3.0)});
    }
    const int walls = std::max(2, int(std::lround(area / 2000)));
    for (int i = 0; i < walls; ++i) {
        const double length = between(random, 4, 12), angle = between(random, 0, M_PI);
        const double x0 = between(random, 0.1 * width, 0.9 * width),
                     y0 = between(random, 0.1 * depth, 0.9 * depth);
        const double x1 = std::clamp(x0 + length * std::cos(angle), 0.05 * width, 0.95 * width);
        const double y1 = std::clamp(y0 + length * std::sin(angle), 0.05 * depth, 0.95 * depth);
        site.m_walls.push_back({x0, y0, x1, y1, between(random, 0.5, 0.8), between(random, 0.4, 0.9)});
    }
    site.buildGrid();
    return site;
}

double SiteModel::terrainHeight(double x, double y) const
{
    return 0.015 * x + 0.01 * y + 0.6 * std::sin(x / 23 + 1) * std::cos(y / 17) +
           0.25 * std::sin(x / 7.3) * std::sin(y / 9.1);
}

double SiteModel::designHeight(double x, double y) const
{
    double z = terrainHeight(x, y);
    for (const Heap& h : m_heaps) {
        const double r2 = (x - h.x) * (x - h.x) + (y - h.y) * (y - h.y);
        z += h.height * std::exp(-r2 / (2 * h.sigma * h.sigma));
    }
    for (const Wall& w : m_walls)
        if (segmentDistance(x, y, w.x0, w.y0, w.x1, w.y1) <= w.width / 2)
            z = std::max(z, terrainHeight((w.x0 + w.x1) / 2, (w.y0 + w.y1) / 2) + w.height);
    for (const Heap& h : m_growth) {
        const double r2 = (x - h.x) * (x - h.x) + (y - h.y) * (y - h.y);
        z += h.height * std::exp(-r2 / (2 * h.sigma * h.sigma));
    }
    for (const Trench& t : m_trenches) {
        if (x < t.x0 || x > t.x1 || y < t.y0 || y > t.y1)
            continue;
        // Flat floors: a step around an inner cut, levelled at the trench's centre.
        const double level = terrainHeight((t.x0 + t.x1) / 2, (t.y0 + t.y1) / 2);
        const bool inner = x > t.x0 + 0.5 && x < t.x1 - 0.5 && y > t.y0 + 0.5 && y < t.y1 - 0.5;
        z = std::min(z, level - (inner ? t.depth : t.depth / 2));
    }
    for (const Cut& c : m_cuts)
        if (x > c.x0 && x < c.x1 && y > c.y0 && y < c.y1)
            z -= c.depth;
    return z;
}

int SiteModel::materialAt(double x, double y) const
{
    for (const Trench& t : m_trenches)
        if (x >= t.x0 && x <= t.x1 && y >= t.y0 && y <= t.y1)
            return 1;
    for (const Wall& w : m_walls)
        if (segmentDistance(x, y, w.x0, w.y0, w.x1, w.y1) <= w.width / 2)
            return 3;
    for (const Heap& h : m_heaps)
        if ((x - h.x) * (x - h.x) + (y - h.y) * (y - h.y) < 4 * h.sigma * h.sigma)
            return 2;
    return 0;
}

void SiteModel::advanceTo(int day)
{
    m_cuts.clear();
    m_growth.clear();
    if (day > 1 && !m_trenches.empty()) {
        const Trench& t = m_trenches.front();
        m_cuts.push_back({t.x0 + 0.75, t.y0 + 0.75, t.x1 - 0.75, t.y1 - 0.75, 0.5 * (day - 1)});
    }
    if (day > 1 && !m_heaps.empty()) {
        const Heap& h = m_heaps.front();
        m_growth.push_back({h.x, h.y, 0.4 * (day - 1), h.sigma});
    }
    buildGrid();
}

void SiteModel::buildGrid()
{
    m_columns = int(std::ceil((m_width + 2 * m_margin) / m_spacing)) + 1;
    m_rows = int(std::ceil((m_depth + 2 * m_margin) / m_spacing)) + 1;
    m_heights.resize(size_t(m_columns) * size_t(m_rows));
    for (int j = 0; j < m_rows; ++j)
        for (int i = 0; i < m_columns; ++i)
            m_heights[size_t(j) * size_t(m_columns) + size_t(i)] =
                float(designHeight(i * m_spacing - m_margin, j * m_spacing - m_margin));
}

double SiteModel::heightAt(double x, double y) const
{
    const double u = std::clamp((x + m_margin) / m_spacing, 0.0, double(m_columns - 1));
    const double v = std::clamp((y + m_margin) / m_spacing, 0.0, double(m_rows - 1));
    const int i = std::min(int(u), m_columns - 2), j = std::min(int(v), m_rows - 2);
    const double fu = u - i, fv = v - j;
    const double h00 = gridHeight(i, j), h10 = gridHeight(i + 1, j), h01 = gridHeight(i, j + 1),
                 h11 = gridHeight(i + 1, j + 1);
    if (fu >= fv)
        return h00 + fu * (h10 - h00) + fv * (h11 - h10);
    return h00 + fv * (h01 - h00) + fu * (h11 - h01);
}

bool SiteModel::intersect(const double origin[3], const double direction[3], double maxDistance,
                          double* distance) const
{
    auto above = [&](double t) {
        const double x = origin[0] + t * direction[0], y = origin[1] + t * direction[1];
        return origin[2] + t * direction[2] - heightAt(x, y);
    };
    auto inside = [&](double t) {
        const double x = origin[0] + t * direction[0], y = origin[1] + t * direction[1];
        return x >= -m_margin && y >= -m_margin && x <= m_width + m_margin && y <= m_depth + m_margin;
    };
    const double step = m_spacing / 2;
    double previous = 0, previousAbove = above(0);
    for (double t = step; t <= maxDistance; t += step) {
        const double a = above(t);
        if (a <= 0 && previousAbove > 0) {
            double lo = previous, hi = t;
            for (int k = 0; k < 50; ++k) {
                const double mid = (lo + hi) / 2;
                (above(mid) > 0 ? lo : hi) = mid;
            }
            if (!inside(hi))
                return false;
            *distance = hi;
            return true;
        }
        previous = t;
        previousAbove = a;
    }
    return false;
}

std::string SiteModel::toText() const
{
    std::string out = "surveygen site 1\n";
    out += "size " + number(m_width) + ' ' + number(m_depth) + ' ' + number(m_spacing) + ' ' +
           std::to_string(m_seed) + ' ' + number(m_margin) + '\n';
    for (const Trench& t : m_trenches)
        out += "trench " + number(t.x0) + ' ' + number(t.y0) + ' ' + number(t.x1) + ' ' + number(t.y1) + ' ' +
               number(t.depth) + '\n';
    for (const Heap& h : m_heaps)
        out +=
            "heap " + number(h.x) + ' ' + number(h.y) + ' ' + number(h.height) + ' ' + number(h.sigma) + '\n';
    for (const Wall& w : m_walls)
        out += "wall " + number(w.x0) + ' ' + number(w.y0) + ' ' + number(w.x1) + ' ' + number(w.y1) + ' ' +
               number(w.width) + ' ' + number(w.height) + '\n';
    for (const Cut& c : m_cuts)
        out += "cut " + number(c.x0) + ' ' + number(c.y0) + ' ' + number(c.x1) + ' ' + number(c.y1) + ' ' +
               number(c.depth) + '\n';
    for (const Heap& h : m_growth)
        out += "growth " + number(h.x) + ' ' + number(h.y) + ' ' + number(h.height) + ' ' + number(h.sigma) +
               '\n';
    return out;
}

bool SiteModel::fromText(const std::string& text, SiteModel* site, std::string* error)
{
    std::istringstream in(text);
    in.imbue(std::locale::classic());
    std::string line;
    int lineNumber = 0;
    SiteModel s;
    bool sized = false;
    auto fail = [&](const std::string& why) {
        if (error)
            *error = "line " + std::to_string(lineNumber) + ": " + why;
        return false;
    };
    // Heaps of the first day and the growth of later days read alike, and so
    // do trenches and later cuts (a rectangle and a depth).
    auto readHeap = [](LineWords& fields, std::vector<Heap>& heaps) {
        Heap& h = heaps.emplace_back();
        return fields.numbers(h.x, h.y, h.height, h.sigma) && h.sigma > 0;
    };
    auto readDigging = [](LineWords& fields, auto& diggings) {
        auto& d = diggings.emplace_back();
        return fields.numbers(d.x0, d.y0, d.x1, d.y1, d.depth);
    };
    while (std::getline(in, line)) {
        ++lineNumber;
        LineWords fields(line);
        std::string key;
        fields.word(key);
        if (lineNumber == 1) {
            if (line.rfind("surveygen site 1", 0) != 0)
                return fail("not a surveygen site file");
            continue;
        }
        if (key.empty())
            continue;
        bool ok = true;
        if (key == "size") {
            ok = fields.numbers(s.m_width, s.m_depth, s.m_spacing, s.m_seed, s.m_margin) && s.m_width > 0 &&
                 s.m_depth > 0 && s.m_spacing > 0 && s.m_margin >= 0 &&
                 (s.m_width + 2 * s.m_margin) / s.m_spacing * ((s.m_depth + 2 * s.m_margin) / s.m_spacing) <
                     maxGridVertices;
            sized = ok;
        } else if (key == "trench") {
            ok = readDigging(fields, s.m_trenches);
        } else if (key == "heap") {
            ok = readHeap(fields, s.m_heaps);
        } else if (key == "wall") {
            Wall w;
            ok = fields.numbers(w.x0, w.y0, w.x1, w.y1, w.width, w.height);
            s.m_walls.push_back(w);
        } else if (key == "cut") {
            ok = readDigging(fields, s.m_cuts);
        } else if (key == "growth") {
            ok = readHeap(fields, s.m_growth);
        } else if (key == "system" || key == "origin" || key == "day") {
            continue; // where the site lies in survey coordinates: for the readers of the truth
        } else {
            return fail("unknown entry '" + key + "'");
        }
        if (!ok)
            return fail("malformed '" + key + "' entry");
    }
    if (!sized)
        return fail("no size entry");
    s.buildGrid();
    *site = std::move(s);
    return true;
}
