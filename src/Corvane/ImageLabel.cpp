#include "ImageLabel.h"

#include <QMouseEvent>

ImageLabel::ImageLabel(QWidget* parent) : QLabel(parent)
{
    // Widget coordinates are used as pixel coordinates of the shown image,
    // so the image must sit at the label's origin.
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void ImageLabel::mousePressEvent(QMouseEvent* event)
{
    m_pressPoint = event->pos();
    emit mousePressed();
}

void ImageLabel::mouseMoveEvent(QMouseEvent* event)
{
    m_movePoint = event->pos();
    emit mouseMoved();
}

void ImageLabel::mouseReleaseEvent(QMouseEvent* event)
{
    m_releasePoint = event->pos();
    emit mouseReleased();
}
