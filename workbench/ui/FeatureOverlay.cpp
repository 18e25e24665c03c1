#include "FeatureOverlay.h"

#include <QPainter>
#include <QPoint>

namespace
{

// Collects consecutive points of one pen and hands them over when the pen changes.
class PointRuns
{
public:
    PointRuns(QPainter& painter, bool perPoint) : m_painter(painter), m_perPoint(perPoint) { m_points.reserve(4096); }
    ~PointRuns() { flush(); }

    void add(const QPen* pen, const QPoint& p)
    {
        if (pen != m_pen || m_perPoint)
            flush();
        m_pen = pen;
        m_points.append(p);
    }

private:
    void flush()
    {
        if (m_points.isEmpty())
            return;
        m_painter.setPen(*m_pen);
        m_painter.drawPoints(m_points.constData(), m_points.size());
        m_points.clear();
    }

    QPainter& m_painter;
    bool m_perPoint;
    const QPen* m_pen = nullptr;
    QVector<QPoint> m_points;
};

bool sameImage(const ImagePick& p, const QString& imageName)
{
    return p.imageName.compare(imageName, Qt::CaseInsensitive) == 0;
}

} // namespace

void FeatureOverlay::draw(QPainter& painter, const QVector<FeatureRecord>& features, const QSet<int>& used,
                          const ImageSelection& selection, const QString& imageName, const Pens& pens, bool perPoint)
{
    PointRuns runs(painter, perPoint);
    const bool anyUsed = !used.isEmpty();
    for (const FeatureRecord& f : features) {
        const QPoint p(int(f.x), int(f.y));
        runs.add(&pens.feature, p);
        if (anyUsed && used.contains(f.index))
            runs.add(&pens.used, p);
    }
    for (const ImageSelection::Match& match : selection.matches()) {
        for (const ImagePick& pick : match) {
            if (!sameImage(pick, imageName))
                continue;
            const QPen* pen = match.size() == 2 ? &pens.paired : pick.type == 1 ? &pens.outer : &pens.inner;
            runs.add(pen, QPoint(pick.x, pick.y));
        }
    }
    for (const ImagePick& pick : selection.pickedFeatures())
        if (sameImage(pick, imageName))
            runs.add(&pens.picked, QPoint(pick.x, pick.y));
}
