#pragma once

#include <QList>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QString>
#include <QVector>

#include "core/georef/ControlPoint.h"

class ImageViewer;
class MyListWidget;
class OsgWidget;
class QListWidgetItem;
class QWidget;

// The main window's open image viewers: opens one per image (bringing an
// open one forward instead) and does the repaints, zooms and closings the
// window relays between them. Each new viewer is announced by viewerOpened(),
// on which the window connects the viewer's repaint, zoom, closing and
// "Extract Shape" to its own slots.
class ImageViewers : public QObject
{
    Q_OBJECT
public:
    // window: the main window, parent of the viewers.
    ImageViewers(QWidget* window, MyListWidget* imageList, OsgWidget* sceneView, const QString& appDir);

    // Opens the image of a list item, or brings its viewer forward.
    ImageViewer* load(QListWidgetItem* item);
    // Opens an image by path under the name the list shows.
    ImageViewer* open(const QString& path, const QString& name);
    // The image the scene view names: added to the image list, then opened.
    ImageViewer* showPopup();

    void updateWindowPaint();
    void updateZooms(double factor);
    void deleteImageViewer(const QString& filename);

    // The ground control points every viewer draws the observations of its photo of.
    void setControlPoints(const QVector<ControlPoint>& points, const QString& selected);
    // The targets found but not yet accepted, drawn apart in every viewer of their photos.
    void setTargetCandidates(const QVector<ControlPoint>& candidates);

    QList<ImageViewer*> viewers() const;
    ImageViewer* viewerOf(const QString& fileName) const;

signals:
    // A viewer was opened, before it is shown.
    void viewerOpened(ImageViewer* viewer);
    // A loupe click in any viewer, at an image position of its photo.
    void imagePointPicked(const QString& fileName, const QPointF& position);

private:
    QWidget* m_window;
    MyListWidget* m_imageList;
    OsgWidget* m_scene;
    QString m_appDir;
    QList<QPointer<ImageViewer>> imagesView;
    QVector<ControlPoint> m_controlPoints;
    QString m_selectedPoint;
    QVector<ControlPoint> m_targetCandidates;
};
