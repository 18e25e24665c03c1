#include "core/images/ImageSelection.h"

#include "core/log/LogSink.h"

#include <cmath>
#include <cstdio>

namespace
{
constexpr double searchRadius = 100.0;
constexpr double removeRadius = 5.0;
} // namespace

ImageSelection::PickOutcome ImageSelection::pick(const ImagePick& pick, bool removeNearby, double* nearest)
{
    if (nearest)
        *nearest = -1;
    if (removeNearby) {
        // Only picks of the same photograph are near: pixel positions of two
        // images have nothing to do with each other.
        double best = searchRadius;
        int bestMatch = -1, bestPick = -1;
        for (int m = 0; m < m_matches.size(); ++m) {
            for (int p = 0; p < m_matches[m].size(); ++p) {
                const ImagePick& other = m_matches[m][p];
                if (other.imageName.compare(pick.imageName, Qt::CaseInsensitive) != 0)
                    continue;
                const double d = std::hypot(double(other.x - pick.x), double(other.y - pick.y));
                if (d < best) {
                    best = d;
                    bestMatch = m;
                    bestPick = p;
                }
            }
        }
        if (bestMatch >= 0) {
            LogSink::printf(LogLevel::Debug, "Distance: %g\n", best);
            if (nearest)
                *nearest = best;
        }
        if (bestMatch >= 0 && best < removeRadius) {
            m_matches[bestMatch].remove(bestPick);
            if (m_matches[bestMatch].isEmpty())
                m_matches.remove(bestMatch);
            return PickOutcome::Removed;
        }
    }
    int target = -1;
    for (int m = 0; m < m_matches.size() && target < 0; ++m)
        if (m_matches[m].size() < 2)
            target = m;
    if (target >= 0 &&
        m_matches[target].first().imageName.compare(pick.imageName, Qt::CaseInsensitive) == 0) {
        LogSink::printf(LogLevel::Debug, "Same Image for Feature, use a different image\n");
        return PickOutcome::SameImage;
    }
    if (target < 0) {
        m_matches.append(Match());
        target = m_matches.size() - 1;
    }
    ImagePick added = pick;
    added.matchNumber = target;
    m_matches[target].append(added);
    return PickOutcome::Added;
}

bool ImageSelection::undo()
{
    if (m_matches.isEmpty())
        return false;
    m_matches.last().removeLast();
    if (m_matches.last().isEmpty())
        m_matches.removeLast();
    return true;
}

bool ImageSelection::toggleFeature(const ImagePick& feature)
{
    for (int i = 0; i < m_picked.size(); ++i) {
        const ImagePick& p = m_picked[i];
        if (p.imageName.compare(feature.imageName, Qt::CaseInsensitive) == 0 && p.x == feature.x &&
            p.y == feature.y) {
            LogSink::printf(LogLevel::Debug, "Found duplicate, deleteing\n");
            m_picked.remove(i);
            return false;
        }
    }
    m_picked.append(feature);
    return true;
}

void ImageSelection::moveToHistory(const QVector<int>& indices, int shapeIndex)
{
    QVector<bool> moved(m_matches.size(), false);
    for (int n = 0; n < indices.size(); ++n) {
        const int i = indices[n];
        if (i < 0 || i >= m_matches.size() || moved[i])
            continue;
        Match match = m_matches[i];
        for (ImagePick& p : match) {
            p.matchIndex = n;
            p.shapeIndex = shapeIndex;
        }
        m_history.append(match);
        moved[i] = true;
    }
    QVector<Match> kept;
    for (int i = 0; i < m_matches.size(); ++i)
        if (!moved[i])
            kept.append(m_matches[i]);
    m_matches = kept;
}

const ImagePick* ImageSelection::openPick() const
{
    if (m_matches.isEmpty() || m_matches.last().size() != 1)
        return nullptr;
    return &m_matches.last().first();
}
