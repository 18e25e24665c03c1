#pragma once

#include <QImage>
#include <QLabel>
#include <QPoint>
#include <QPointF>
#include <QString>
#include <QVector>

#include <functional>

class MyListWidget;

// Shows an image viewer's picture with the ground control points' marks over
// it and reports mouse presses and releases in label pixels (type 1 for the
// right button, 0 otherwise). Taken out of the
// viewer as a full-screen window of its own (F11), it steps through the image
// list, deletes images and comes back by itself.
class ImageLabel : public QLabel
{
    Q_OBJECT
public:
    explicit ImageLabel(QWidget* parent = nullptr);

    void setImageList(MyListWidget* list) { m_imageList = list; }
    QString fileName() const { return m_fileName; }
    void setFileName(const QString& fileName) { m_fileName = fileName; }
    // The name the image list shows for the image.
    QString displayName() const { return m_displayName; }
    void setDisplayName(const QString& name) { m_displayName = name; }

    // A control point's observation drawn over the picture: a small cross
    // and the point's name, the selected point larger and in another colour;
    // a target found but not yet accepted as a ring around its centre.
    struct Mark {
        QPointF image; // unrotated picture pixels from its top-left corner
        QString name;
        bool selected = false;
        bool candidate = false; // a target found in the photo, not yet accepted
    };
    // The marks and where an image position lies on the label; they are
    // drawn at the same size whatever the zoom.
    void setMarks(const QVector<Mark>& marks, std::function<QPointF(const QPointF&)> toLabel);
    const QVector<Mark>& marks() const { return m_marks; }

    QPointF pressPosition() const { return m_pressPosition; }
    QPoint pressGlobalPosition() const { return m_pressGlobal; }

    // Full-screen mode: the picture scaled to the screen's height, without
    // scaled contents, in a window of its own.
    void showFullScreenImage(const QImage& image);
    bool isFullScreenMode() const { return m_fullScreenMode; }
    // Back inside the viewer.
    void endFullScreenMode() { m_fullScreenMode = false; }

signals:
    void mousePosition(QPointF pos, int type);
    void mouseZoomPosition(QPointF pos, int type);
    // F11 (or Escape) in full-screen mode: the viewer takes the label back.
    void fullScreenLeft();
    // The last image of the list was deleted in full-screen mode.
    void listExhausted();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void step(bool forward);
    void deleteShown();
    void showScaledToScreen();

    QString m_fileName;
    QString m_displayName;
    MyListWidget* m_imageList = nullptr;
    QImage m_image; // the picture of full-screen mode
    QPointF m_pressPosition;
    QPoint m_pressGlobal;
    bool m_fullScreenMode = false;
    QVector<Mark> m_marks;
    std::function<QPointF(const QPointF&)> m_toLabel;
};
