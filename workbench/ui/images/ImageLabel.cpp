#include "ui/images/ImageLabel.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScreen>

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
    std::cout << "position of mouse release on QLabel widget=" << event->localPos().x() << ","
              << event->localPos().y() << std::endl;
    if (!m_fullScreenMode)
        emit mousePosition(event->localPos(), event->button() == Qt::RightButton ? 1 : 0);
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
