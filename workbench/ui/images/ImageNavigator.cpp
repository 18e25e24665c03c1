#include "ui/images/ImageNavigator.h"

#include "core/log/LogLine.h"

#include <QCoreApplication>
#include <QScrollArea>
#include <QScrollBar>
#include <QTransform>

#include <cmath>
#include <iostream>

#include "ui/images/ImageLabel.h"
#include "ui/images/ImagePicture.h"

ImageNavigator::ImageNavigator(QScrollArea* scroll, ImageLabel* label, const ImagePicture* picture,
                               QObject* parent)
    : QObject(parent), m_scroll(scroll), m_label(label), m_picture(picture)
{
}

void ImageNavigator::setScroll(int h, int v)
{
    m_scroll->horizontalScrollBar()->setValue(h);
    m_scroll->verticalScrollBar()->setValue(v);
}

QSize ImageNavigator::settledViewport() const
{
    // QScrollArea shows or hides its scroll bars in a queued call after their
    // range changed: until it runs, the viewport has its old size (on X11 the
    // bars came only after the scroll was set, and the middle moved by half
    // their width).
    QCoreApplication::sendPostedEvents(m_scroll, QEvent::MetaCall);
    return m_scroll->viewport()->size();
}

void ImageNavigator::scaleImage(double factor)
{
    m_scaleFactor *= factor;
    const QPixmap shown = m_label->pixmap(Qt::ReturnByValue);
    if (!shown.isNull())
        m_label->resize(qRound(shown.width() * m_scaleFactor), qRound(shown.height() * m_scaleFactor));
    emit scaleChanged();
}

void ImageNavigator::fit()
{
    const QPixmap shown = m_label->pixmap(Qt::ReturnByValue);
    if (m_picture->isNull() || shown.isNull())
        return;
    const QSize viewport = m_scroll->viewport()->size();
    if (viewport.width() > 640) {
        double fit = double(viewport.width()) / shown.width();
        const double heightFit = double(viewport.height()) / shown.height();
        if (!(heightFit > fit))
            fit = heightFit;
        LogLine() << "Scales " << viewport.width() << " " << viewport.height() << " " << shown.width() << " "
                  << shown.height() << " Factor:" << double(viewport.width()) / shown.width() << std::endl;
        m_scaleFactor = fit;
    }
    m_label->resize(qRound(shown.width() * m_scaleFactor), qRound(shown.height() * m_scaleFactor));
    emit scaleChanged();
}

void ImageNavigator::normalSize()
{
    m_label->adjustSize();
    m_scaleFactor = 1.0;
    emit scaleChanged();
}

QPixmap ImageNavigator::rotatedBase() const
{
    if (m_rotation % 360 == 0)
        return m_picture->base();
    return m_picture->base().transformed(QTransform().rotate(m_rotation));
}

void ImageNavigator::rotate(int degrees)
{
    m_rotation += degrees;
    const QPixmap shown = m_label->pixmap(Qt::ReturnByValue);
    if (shown.isNull())
        return;
    m_label->setPixmap(shown.transformed(QTransform().rotate(degrees)));
    fit();
}

void ImageNavigator::showCurrentPicture()
{
    if (m_magnification > 0) {
        // Keep the loupe where it is, with the new picture in it.
        const QPoint origin = m_origin;
        const int m = m_magnification;
        const QSize base = m_picture->base().size();
        showLoupe(m, QPoint(int(origin.x() + base.width() / (2.0 * m)),
                            int(origin.y() + base.height() / (2.0 * m))));
        return;
    }
    m_label->setPixmap(rotatedBase());
}

void ImageNavigator::saveView()
{
    m_savedH = m_scroll->horizontalScrollBar()->value();
    m_savedV = m_scroll->verticalScrollBar()->value();
    m_savedScale = m_scaleFactor;
}

void ImageNavigator::restoreView()
{
    m_magnification = 0;
    m_label->setPixmap(rotatedBase());
    m_scaleFactor = 1.0;
    scaleImage(m_savedScale);
    setScroll(m_savedH, m_savedV);
}

void ImageNavigator::showActualPixels()
{
    // The label's place in the viewport holds the scrolling and, for a
    // picture smaller than the viewport, the centring offset.
    const QSize before = m_scroll->viewport()->size();
    const QPointF middle =
        (QPointF(before.width() / 2.0, before.height() / 2.0) - m_label->pos()) / m_savedScale;
    scaleImage(1.0 / m_scaleFactor);
    // The larger picture may have brought the scroll bars, which narrow the viewport.
    const QSize viewport = settledViewport();
    const QSize shown = m_label->size();
    const QPointF inside(std::min(middle.x(), double(shown.width())),
                         std::min(middle.y(), double(shown.height())));
    setScroll(int(inside.x() - viewport.width() / 2.0), int(inside.y() - viewport.height() / 2.0));
}

void ImageNavigator::showLoupeAtPress(const QPointF& labelPoint, int magnification)
{
    const QSize shown = m_label->pixmap(Qt::ReturnByValue).size();
    scaleImage(1.0 / m_scaleFactor);
    const QPointF scaled = labelPoint / m_savedScale;
    LogLine() << "PointA: " << labelPoint.x() << "," << labelPoint.y() << " PointScaled: " << scaled.x()
              << "," << scaled.y() << std::endl;
    const QPointF inImage = unrotate(scaled, shown, m_rotation);
    showLoupe(magnification, QPoint(int(inImage.x()), int(inImage.y())));
}

void ImageNavigator::showLoupe(int magnification, const QPoint& around)
{
    const QPixmap& base = m_picture->base();
    m_origin = QPoint(int(around.x() - base.width() / (2.0 * magnification)),
                      int(around.y() - base.height() / (2.0 * magnification)));
    QPixmap region = base.copy(QRect(m_origin, base.size() / magnification));
    if (m_rotation % 360 != 0)
        region = region.transformed(QTransform().rotate(m_rotation));
    m_label->setPixmap(region);
    m_label->resize(region.size() * magnification);
    m_magnification = magnification;
    const QSize viewport = settledViewport();
    setScroll(region.width() * magnification / 2 - viewport.width() / 2,
              region.height() * magnification / 2 - viewport.height() / 2);
}

QPoint ImageNavigator::imagePointInLoupe(const QPointF& labelPoint, int magnification) const
{
    const QSize shown = m_label->pixmap(Qt::ReturnByValue).size();
    const QPointF inRegion = unrotate(
        QPointF(std::trunc(labelPoint.x() / magnification), std::trunc(labelPoint.y() / magnification)),
        shown, m_rotation);
    return QPoint(m_origin.x() + int(std::floor(inRegion.x())), m_origin.y() + int(std::floor(inRegion.y())));
}

QPointF ImageNavigator::imagePositionInLoupe(const QPointF& labelPoint, int magnification) const
{
    const QSize shown = m_label->pixmap(Qt::ReturnByValue).size();
    return QPointF(m_origin) + unrotate(labelPoint / magnification, shown, m_rotation);
}

QPointF ImageNavigator::labelPointOf(const QPointF& image) const
{
    const QSize shown = m_label->pixmap(Qt::ReturnByValue).size();
    if (shown.isEmpty())
        return QPointF();
    if (m_magnification > 0) {
        const QSize region = m_picture->base().size() / m_magnification;
        return rotate(image - QPointF(m_origin), region, m_rotation) * m_magnification;
    }
    const QPointF onPicture = rotate(image, m_picture->base().size(), m_rotation);
    return QPointF(onPicture.x() * m_label->width() / shown.width(),
                   onPicture.y() * m_label->height() / shown.height());
}

void ImageNavigator::drag(const QPoint& delta)
{
    const QPixmap shown = m_label->pixmap(Qt::ReturnByValue);
    const double scalar = double(shown.width()) / std::max(1, m_scroll->viewport()->width());
    QScrollBar* h = m_scroll->horizontalScrollBar();
    QScrollBar* v = m_scroll->verticalScrollBar();
    h->setValue(h->value() + int(2 * delta.x() * scalar));
    v->setValue(v->value() + int(2 * delta.y() * scalar));
    LogLine() << "Scalar=" << scalar << " Scroll h=" << h->value() << " v=" << v->value() << std::endl;
}

QPointF ImageNavigator::unrotate(const QPointF& p, const QSize& shown, int rotation)
{
    switch (((rotation % 360) + 360) % 360) {
    case 90:
        return QPointF(p.y(), shown.width() - p.x());
    case 180:
        return QPointF(shown.width() - p.x(), shown.height() - p.y());
    case 270:
        return QPointF(shown.height() - p.y(), p.x());
    default:
        return p;
    }
}

QPointF ImageNavigator::rotate(const QPointF& p, const QSize& size, int rotation)
{
    switch (((rotation % 360) + 360) % 360) {
    case 90:
        return QPointF(size.height() - p.y(), p.x());
    case 180:
        return QPointF(size.width() - p.x(), size.height() - p.y());
    case 270:
        return QPointF(p.y(), size.width() - p.x());
    default:
        return p;
    }
}
