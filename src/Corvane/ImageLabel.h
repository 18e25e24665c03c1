#pragma once

#include <QLabel>
#include <QPoint>

// A label that shows a pixmap and reports where the mouse was pressed, moved
// and released, in its own coordinates.
class ImageLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ImageLabel(QWidget* parent = nullptr);

    QPoint pressPoint() const { return m_pressPoint; }
    QPoint movePoint() const { return m_movePoint; }
    QPoint releasePoint() const { return m_releasePoint; }

signals:
    void mousePressed();
    void mouseMoved();
    void mouseReleased();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPoint m_pressPoint;
    QPoint m_movePoint;
    QPoint m_releasePoint;
};
