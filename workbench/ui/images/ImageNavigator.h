#pragma once

#include <QObject>
#include <QPixmap>
#include <QPoint>
#include <QPointF>
#include <QSize>

class ImageLabel;
class ImagePicture;
class QScrollArea;

// How an image viewer shows its picture: the scale (zoom steps, fit, actual
// pixels), quarter turns, the scroll position and the loupe, which shows a
// third of the picture three times larger around a point. The label shows
// the rotated picture scaled to `scale` times its pixel size.
class ImageNavigator : public QObject
{
    Q_OBJECT
public:
    ImageNavigator(QScrollArea* scroll, ImageLabel* label, const ImagePicture* picture, QObject* parent);

    double scaleFactor() const { return m_scaleFactor; }
    int rotation() const { return m_rotation; }
    QPoint loupeOrigin() const { return m_origin; }
    bool loupeShown() const { return m_magnification > 0; }
    double savedScale() const { return m_savedScale; }

    // Multiplies the scale.
    void scaleImage(double factor);
    // The picture as large as fits a viewport wider than 640 pixels; with a
    // narrower one the scale stays.
    void fit();
    void normalSize();

    QPixmap rotatedBase() const;
    // Turns the shown picture by a quarter turn (or more) and fits it.
    void rotate(int degrees);
    void resetRotation() { m_rotation = 0; }
    // Shows the picture as it is now: the loupe keeps its place with the new picture in it.
    void showCurrentPicture();

    // Remembers the scroll position and scale; restoreView() returns to them
    // from the loupe or actual pixels.
    void saveView();
    void restoreView();
    // Actual pixels around what was the middle of the saved view.
    void showActualPixels();
    // The loupe around the point the label was pressed at in the saved view.
    void showLoupeAtPress(const QPointF& labelPoint, int magnification);
    void showLoupe(int magnification, const QPoint& around);
    // The image pixel (unrotated) under a point of the loupe.
    QPoint imagePointInLoupe(const QPointF& labelPoint, int magnification) const;
    // The image position (unrotated pixels from the picture's top-left
    // corner, fractions kept) under a point of the loupe.
    QPointF imagePositionInLoupe(const QPointF& labelPoint, int magnification) const;
    // Where an image position (as above) lies on the label as it shows the
    // picture now, fitted, zoomed or in the loupe.
    QPointF labelPointOf(const QPointF& image) const;
    // Scrolls by a mouse drag of delta screen pixels.
    void drag(const QPoint& delta);

    // A point of the label (rotated picture, `shown` pixels large) in pixels
    // of the unrotated picture.
    static QPointF unrotate(const QPointF& point, const QSize& shown, int rotation);
    // And the other way: a point of the unrotated picture (`size` pixels
    // large) in pixels of the rotated one.
    static QPointF rotate(const QPointF& point, const QSize& size, int rotation);

signals:
    void scaleChanged();

private:
    void setScroll(int h, int v);
    // The viewport as it is once the scroll bars a new label size brings
    // (or takes away) are shown.
    QSize settledViewport() const;

    QScrollArea* m_scroll;
    ImageLabel* m_label;
    const ImagePicture* m_picture;
    double m_scaleFactor = 1.0;
    int m_rotation = 0;
    int m_savedH = 0;
    int m_savedV = 0;
    double m_savedScale = 1.0;
    QPoint m_origin;
    int m_magnification = 0; // 0 while no loupe is shown
};
