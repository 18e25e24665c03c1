#include "ui/images/ImageLabel.h"

#include "core/log/LogLine.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <iostream>

#include "ui/images/ImageViewer.h"
#include "ui/images/MyListWidget.h"

ImageLabel::ImageLabel(QWidget* parent) : QLabel(parent)
{
    setAttribute(Qt::WA_MouseTracking);
    setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
}

void ImageLabel::mousePressEvent(QMouseEvent* event)
{
    m_pressPosition = event->localPos();
    m_pressGlobal = event->globalPos();
    if (!m_fullScreenMode)
        emit mouseZoomPosition(event->localPos(), event->button() == Qt::RightButton ? 1 : 0);
}

void ImageLabel::mouseReleaseEvent(QMouseEvent* event)
{
    LogLine() << "position of mouse release on QLabel widget=" << event->localPos().x() << ","
              << event->localPos().y() << std::endl;
    if (!m_fullScreenMode)
        emit mousePosition(event->localPos(), event->button() == Qt::RightButton ? 1 : 0);
}

void ImageLabel::setMarks(const QVector<Mark>& marks, std::function<QPointF(const QPointF&)> toLabel)
{
    m_marks = marks;
    m_toLabel = std::move(toLabel);
    update();
}

void ImageLabel::paintEvent(QPaintEvent* event)
{
    QLabel::paintEvent(event);
    // Full screen shows the picture alone, scaled to the screen by itself.
    if (m_marks.isEmpty() || !m_toLabel || m_fullScreenMode || pixmap(Qt::ReturnByValue).isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font = painter.font();
    font.setBold(true);
    painter.setFont(font);
    // The selected point last, so that it lies on top.
    QVector<Mark> ordered = m_marks;
    std::stable_partition(ordered.begin(), ordered.end(), [](const Mark& m) { return !m.selected; });
    for (const Mark& mark : qAsConst(ordered)) {
        const QPointF at = m_toLabel(mark.image);
        const double arm = mark.selected ? 9 : 6;
        if (!rect().adjusted(-20, -20, 20, 20).contains(at.toPoint()))
            continue;
        const QColor colour = mark.candidate  ? QColor(255, 160, 0)
                              : mark.selected ? QColor(255, 40, 200)
                                              : QColor(0, 230, 255);
        for (const auto& [pen, width] : {std::pair<QColor, double>{Qt::black, 4}, {colour, 2}}) {
            painter.setPen(QPen(pen, width));
            if (mark.candidate) {
                painter.drawEllipse(at, arm, arm);
                continue;
            }
            painter.drawLine(at - QPointF(arm, 0), at + QPointF(arm, 0));
            painter.drawLine(at - QPointF(0, arm), at + QPointF(0, arm));
            if (mark.selected)
                painter.drawEllipse(at, arm + 3, arm + 3);
        }
        const QPointF text = at + QPointF(arm + 4, -arm - 2);
        painter.setPen(Qt::black);
        const QString label = mark.candidate ? mark.name + QLatin1Char('?') : mark.name;
        painter.drawText(text + QPointF(1, 1), label);
        painter.setPen(colour);
        painter.drawText(text, label);
    }
}

void ImageLabel::showFullScreenImage(const QImage& image)
{
    m_image = image;
    m_fullScreenMode = true;
    setScaledContents(false);
    showScaledToScreen();
    showFullScreen();
    activateWindow();
    setFocus();
}

void ImageLabel::showScaledToScreen()
{
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    const int height = screen ? screen->size().height() : m_image.height();
    if (m_image.isNull())
        setText(tr("Cannot show %1").arg(m_fileName));
    else
        setPixmap(QPixmap::fromImage(m_image.scaledToHeight(height, Qt::SmoothTransformation)));
}

void ImageLabel::keyPressEvent(QKeyEvent* event)
{
    if (!m_fullScreenMode) {
        QLabel::keyPressEvent(event);
        return;
    }
    switch (event->key()) {
    case Qt::Key_Comma:
        step(false);
        break;
    case Qt::Key_Period:
        step(true);
        break;
    case Qt::Key_X:
        deleteShown();
        break;
    case Qt::Key_F11:
    case Qt::Key_Escape:
        m_fullScreenMode = false;
        setScaledContents(false);
        emit fullScreenLeft();
        break;
    default:
        QLabel::keyPressEvent(event);
        return;
    }
    event->accept();
}

void ImageLabel::step(bool forward)
{
    if (!m_imageList)
        return;
    const auto entry = forward ? m_imageList->nextEntry(m_fileName) : m_imageList->previousEntry(m_fileName);
    if (!entry)
        return;
    m_fileName = entry->path;
    m_displayName = entry->name;
    m_image = QImage(m_fileName);
    showScaledToScreen();
}

void ImageLabel::deleteShown()
{
    if (!m_imageList)
        return;
    QMessageBox box(this);
    if (!ImageViewer::confirmDelete(box, m_displayName))
        return;
    const auto next = m_imageList->nextEntry(m_fileName);
    m_imageList->deleteImage(m_fileName);
    if (!next) {
        m_fullScreenMode = false;
        emit listExhausted();
        return;
    }
    m_fileName = next->path;
    m_displayName = next->name;
    m_image = QImage(m_fileName);
    showScaledToScreen();
}
