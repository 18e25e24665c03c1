#include "ui/images/FeatureOverlay.h"

#include <QPainter>
#include <QPoint>

namespace
{

// Collects consecutive points of one pen and hands them over when the pen changes.
class PointRuns
{
public:
    PointRuns(QPainter& painter, bool perPoint, QVector<QRect>* touched)
        : m_painter(painter), m_perPoint(perPoint), m_touched(touched)
    {
        m_points.reserve(4096);
    }
    ~PointRuns() { flush(); }

    void add(const QPen* pen, const QPoint& p)
    {
        if (pen != m_pen || m_perPoint)
            flush();
        m_pen = pen;
        m_points.append(p);
        if (m_touched) {
            const int reach = pen->width() / 2 + 1; // a pixel more than any pen covers
            m_touched->append(QRect(p.x() - reach, p.y() - reach, 2 * reach, 2 * reach));
        }
    }

private:
    void flush()
    {
        if (m_points.isEmpty())
            return;
        if (!m_perPoint && asSquares(*m_pen)) {
            // A wide point is a square of the pen's width starting width / 2
            // before it; the raster engine strokes each one as a path, which
            // for thousands of points takes far longer than filling.
            const int w = m_pen->width();
            const QColor colour = m_pen->color();
            for (const QPoint& p : m_points)
                m_painter.fillRect(QRect(p.x() - w / 2, p.y() - w / 2, w, w), colour);
        } else {
            m_painter.setPen(*m_pen);
            m_painter.drawPoints(m_points.constData(), m_points.size());
        }
        m_points.clear();
    }

    // Whether filling squares paints the very pixels drawPoints would.
    bool asSquares(const QPen& pen) const
    {
        // Odd widths put square edges on pixel centres, where the stroker rounds its own way.
        return pen.width() >= 2 && pen.width() % 2 == 0 && pen.widthF() == pen.width() &&
               pen.style() == Qt::SolidLine && pen.capStyle() == Qt::SquareCap &&
               pen.brush().style() == Qt::SolidPattern && !m_painter.testRenderHint(QPainter::Antialiasing) &&
               m_painter.transform().isIdentity();
    }

    QPainter& m_painter;
    bool m_perPoint;
    QVector<QRect>* m_touched;
    const QPen* m_pen = nullptr;
    QVector<QPoint> m_points;
};

bool sameImage(const ImagePick& p, const QString& imageName)
{
    return p.imageName.compare(imageName, Qt::CaseInsensitive) == 0;
}

} // namespace

void FeatureOverlay::draw(QPainter& painter, const QVector<FeatureRecord>& features, const QSet<int>& used,
                          const ImageSelection& selection, const QString& imageName, const Pens& pens,
                          bool perPoint, QVector<QRect>* touched)
{
    PointRuns runs(painter, perPoint, touched);
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
