#include "ui/survey/ChangeLegend.h"

#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <cmath>

#include "core/io/NumberString.h"
#include "core/survey/ChangeRamp.h"

ChangeLegend::ChangeLegend(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(180, 200);
}

void ChangeLegend::setChange(double limit, const QString& earlier, const QString& later)
{
    m_limit = limit;
    m_earlier = earlier;
    m_later = later;
    setToolTip(title());
    update();
}

QString ChangeLegend::title() const
{
    return m_limit > 0 ? tr("%1 minus %2, metres").arg(m_later, m_earlier) : tr("No comparison shown");
}

void ChangeLegend::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    p.setPen(palette().windowText().color());
    const QFontMetrics fm = p.fontMetrics();
    p.drawText(QRect(6, 4, width() - 12, fm.height() * 2), Qt::TextWordWrap, title());
    if (!(m_limit > 0))
        return;
    const int top = 8 + fm.height() * 2, bottom = height() - 8 - fm.height();
    const QRect bar(10, top, 24, std::max(20, bottom - top));
    QLinearGradient ramp(bar.topLeft(), bar.bottomLeft());
    for (int i = 0; i <= 20; ++i) {
        const double value = m_limit * (1 - i / 10.0); // from +limit at the top to -limit at the bottom
        const ChangeRamp::Rgba c = ChangeRamp::colour(value, m_limit);
        ramp.setColorAt(i / 20.0, QColor(c[0], c[1], c[2]));
    }
    p.fillRect(bar, ramp);
    p.drawRect(bar);
    for (int i = 0; i <= 4; ++i) {
        const double value = m_limit * (1 - i / 2.0);
        const int y = bar.top() + int(bar.height() * i / 4.0);
        p.drawLine(bar.right(), y, bar.right() + 5, y);
        const QString text = (value > 0 ? QStringLiteral("+") : QString()) +
                             NumberString::length(std::round(value * 1000) / 1000);
        p.drawText(bar.right() + 8, y + fm.ascent() / 2, text);
    }
    p.drawText(QRect(0, bottom + 2, width(), fm.height()), Qt::AlignLeft, tr("blue: taken away, red: added"));
}
