#include "LedIndicator.h"

#include <QPainter>

LedIndicator::LedIndicator(QWidget* parent)
    : QWidget(parent), m_onBrush(Qt::green, Qt::SolidPattern), m_offBrush(Qt::red, Qt::SolidPattern)
{
    setFixedSize(30, 30);
}

void LedIndicator::switchToggle() { setState(!m_on); }
void LedIndicator::switchOn() { setState(true); }
void LedIndicator::switchOff() { setState(false); }

void LedIndicator::setState(bool on)
{
    m_on = on;
    repaint();
}

void LedIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setBrush(m_on ? m_onBrush : m_offBrush);
    painter.drawEllipse(0, 0, 28, 28);
}
