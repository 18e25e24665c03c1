#include "core/survey/SurveyAgreement.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/numbers/NumberText.h"
#include "core/survey/ElevationGrid.h"

namespace
{

double median(std::vector<float> v)
{
    if (v.empty())
        return 0;
    const auto mid = v.begin() + std::ptrdiff_t(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    return *mid;
}

} // namespace

bool SurveyAgreement::check(const ElevationGrid& earlier, const ElevationGrid& later, double groundSample,
                            Result& out, QString* error)
{
    out = Result();
    if (!ElevationGrid::sameSystem(earlier, later)) {
        if (error)
            *error = QStringLiteral("The surveys are in different reference systems (%1 and %2).")
                         .arg(earlier.systemName(), later.systemName());
        return false;
    }
    // Every cell, or a regular sample of about four million of them.
    const double cells = double(later.width) * later.height;
    const int step = std::max(1, int(std::ceil(std::sqrt(cells / 4e6))));
    std::vector<float> d;
    for (int r = 0; r < later.height; r += step)
        for (int c = 0; c < later.width; c += step) {
            const float z = later.at(c, r);
            if (std::isnan(z))
                continue;
            const double e = earlier.heightAt(later.x(c), later.y(r));
            if (!std::isnan(e))
                d.push_back(float(double(z) - e));
        }
    if (d.size() < 16) {
        if (error)
            *error = QStringLiteral("The surveys share too little ground with heights to be compared.");
        return false;
    }
    const double m0 = median(d);
    std::vector<float> deviation(d.size());
    for (size_t i = 0; i < d.size(); ++i)
        deviation[i] = std::fabs(d[i] - float(m0));
    const double sigma = 1.4826 * median(deviation);
    const double changed = std::max(4 * sigma, 3 * groundSample);
    std::vector<float> stable;
    stable.reserve(d.size());
    for (float v : d)
        if (std::fabs(v - m0) <= changed)
            stable.push_back(v);
    out.changed = (long long)(d.size() - stable.size()) * step * step;
    out.stable = (long long)stable.size() * step * step;
    out.shift = median(stable);
    for (size_t i = 0; i < stable.size(); ++i)
        stable[i] = std::fabs(stable[i] - float(out.shift));
    out.spread = 1.4826 * median(stable);
    out.limit = 2 * groundSample;
    out.agrees = std::fabs(out.shift) <= out.limit;
    return true;
}

QString SurveyAgreement::message(const Result& r, const QString& earlier, const QString& later)
{
    // Millimetres, always: "0 m" would read as not measured.
    const QString shift = QString::number(r.shift, 'f', 3);
    const QString limit = QString::number(r.limit, 'f', 3);
    if (r.agrees)
        return QStringLiteral("%1 and %2 agree on stable ground: median difference %3 m (limit %4 m).")
            .arg(earlier, later, shift, limit);
    return QStringLiteral(
               "%1 and %2 disagree on stable ground by %3 m (median of the unchanged cells; more than two "
               "ground samples, %4 m): check their georeference before measuring volumes between them.")
        .arg(earlier, later, shift, limit);
}
