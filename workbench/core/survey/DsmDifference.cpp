#include "core/survey/DsmDifference.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/formats/DrapedPair.h"
#include "core/io/NumberString.h"

namespace
{

bool fail(QString* error, const QString& text)
{
    if (error)
        *error = text;
    return false;
}

QString safeName(QString text)
{
    for (QChar& c : text)
        if (!c.isLetterOrNumber() && c != QLatin1Char('-') && c != QLatin1Char('_'))
            c = QLatin1Char('_');
    return text;
}

} // namespace

bool DsmDifference::compute(const ElevationGrid& earlier, const ElevationGrid& later, ElevationGrid& out,
                            Summary& summary, QString* error)
{
    if (!ElevationGrid::sameSystem(earlier, later))
        return fail(error,
                    QStringLiteral("The surveys are in different reference systems (%1 and %2): compare "
                                   "surveys made in one survey frame.")
                        .arg(earlier.systemName(), later.systemName()));
    // The later grid's cells that lie within the earlier grid's extent.
    const int c0 = std::max(0, int(std::floor((earlier.left - later.left) / later.cellX)));
    const int c1 = std::min(later.width, int(std::ceil((earlier.right() - later.left) / later.cellX)));
    const int r0 = std::max(0, int(std::floor((later.top - earlier.top) / later.cellY)));
    const int r1 = std::min(later.height, int(std::ceil((later.top - earlier.bottom()) / later.cellY)));
    if (c1 <= c0 || r1 <= r0)
        return fail(error,
                    QStringLiteral("The two surveys' elevation models do not overlap: nothing to compare."));
    ElevationGrid d;
    d.width = c1 - c0;
    d.height = r1 - r0;
    d.cellX = later.cellX;
    d.cellY = later.cellY;
    d.left = later.left + c0 * later.cellX;
    d.top = later.top - r0 * later.cellY;
    d.epsg = later.epsg;
    d.wkt = later.wkt;
    d.heights.assign(size_t(d.width) * size_t(d.height), std::numeric_limits<float>::quiet_NaN());
    summary = Summary();
    double low = INFINITY, high = -INFINITY;
    std::vector<float> magnitudes;
    for (int r = 0; r < d.height; ++r)
        for (int c = 0; c < d.width; ++c) {
            const float z = later.at(c + c0, r + r0);
            if (std::isnan(z))
                continue;
            const double e = earlier.heightAt(d.x(c), d.y(r));
            if (std::isnan(e))
                continue;
            const float v = float(double(z) - e);
            d.heights[size_t(r) * size_t(d.width) + size_t(c)] = v;
            ++summary.cells;
            low = std::min(low, double(v));
            high = std::max(high, double(v));
            if ((r + c) % 7 == 0)
                magnitudes.push_back(std::fabs(v));
        }
    if (summary.cells == 0)
        return fail(error,
                    QStringLiteral("The two surveys have no height at the same place: nothing to compare."));
    summary.low = low;
    summary.high = high;
    // The ramp spans the larger changes without letting one stray cell wash out the rest.
    if (!magnitudes.empty()) {
        const size_t k = std::min(magnitudes.size() - 1, size_t(double(magnitudes.size()) * 0.995));
        std::nth_element(magnitudes.begin(), magnitudes.begin() + std::ptrdiff_t(k), magnitudes.end());
        summary.rampLimit = magnitudes[k];
    }
    if (!(summary.rampLimit > 0))
        summary.rampLimit = std::max({std::fabs(low), std::fabs(high), 0.01});
    out = std::move(d);
    return true;
}

bool DsmDifference::write(const QString& path, const ElevationGrid& difference, const Summary& summary,
                          const QString& surface, const QString& earlierDate, const QString& laterDate,
                          QString* error)
{
    const QDir folder = QFileInfo(path).absoluteDir();
    if (!folder.exists() && !QDir().mkpath(folder.absolutePath()))
        return fail(error, folder.absolutePath() + QStringLiteral(": cannot make the folder"));
    QMap<QByteArray, QByteArray> metadata;
    metadata.insert(DrapedPair::differenceKey(), "later minus earlier");
    metadata.insert(DrapedPair::surfaceKey(),
                    folder.relativeFilePath(QFileInfo(surface).absoluteFilePath()).toUtf8());
    metadata.insert(DrapedPair::rampKey(), NumberString::shortest(summary.rampLimit).toUtf8());
    metadata.insert("ORVALIS_EARLIER", earlierDate.toUtf8());
    metadata.insert("ORVALIS_LATER", laterDate.toUtf8());
    return difference.writeGeoTiff(path, metadata, error);
}

QString DsmDifference::fileFor(const QString& laterFolder, const QString& earlierDate,
                               const QString& laterDate)
{
    return QDir(laterFolder)
        .filePath(
            QStringLiteral("compare/change_%1_to_%2.tif").arg(safeName(earlierDate), safeName(laterDate)));
}
