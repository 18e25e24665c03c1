#include "ui/images/ImageViewers.h"

#include "core/log/LogLine.h"

#include <QListWidgetItem>

#include <iostream>

#include "ui/images/ImageViewer.h"
#include "ui/images/MyListWidget.h"
#include "scene/view/OsgWidget.h"

ImageViewers::ImageViewers(QWidget* window, MyListWidget* imageList, OsgWidget* sceneView,
                           const QString& appDir)
    : QObject(window), m_window(window), m_imageList(imageList), m_scene(sceneView), m_appDir(appDir)
{
}

QList<ImageViewer*> ImageViewers::viewers() const
{
    QList<ImageViewer*> out;
    for (const QPointer<ImageViewer>& v : imagesView)
        if (v)
            out << v.data();
    return out;
}

void ImageViewers::setControlPoints(const QVector<ControlPoint>& points, const QString& selected)
{
    m_controlPoints = points;
    m_selectedPoint = selected;
    for (ImageViewer* v : viewers())
        v->setControlPoints(points, selected);
}

void ImageViewers::setTargetCandidates(const QVector<ControlPoint>& candidates)
{
    m_targetCandidates = candidates;
    for (ImageViewer* v : viewers())
        v->setTargetCandidates(candidates);
}

ImageViewer* ImageViewers::viewerOf(const QString& fileName) const
{
    for (ImageViewer* v : viewers())
        if (v->fileName().compare(fileName, Qt::CaseInsensitive) == 0)
            return v;
    return nullptr;
}

ImageViewer* ImageViewers::load(QListWidgetItem* item)
{
    if (!item)
        return nullptr;
    return open(m_imageList->pathOf(item), item->text());
}

ImageViewer* ImageViewers::open(const QString& path, const QString& name)
{
    if (path.isEmpty())
        return nullptr;
    if (ImageViewer* open = viewerOf(path)) {
        open->setDisplayName(name);
        open->refreshExifOverlay();
        open->activateWindow();
        open->showFullScreen();
        open->raise();
        return open;
    }
    auto* viewer = new ImageViewer(path, m_imageList, m_scene, m_window, m_appDir);
    imagesView.append(viewer);
    connect(viewer, &ImageViewer::imagePointPicked, this, &ImageViewers::imagePointPicked);
    emit viewerOpened(viewer);
    viewer->setDisplayName(name);
    viewer->setControlPoints(m_controlPoints, m_selectedPoint);
    viewer->setTargetCandidates(m_targetCandidates);
    viewer->show();
    return viewer;
}

ImageViewer* ImageViewers::showPopup()
{
    const QString name = m_scene->imageMatches()->popupImage();
    if (name.isEmpty())
        return nullptr;
    const QString path = m_scene->imageFolder() + name;
    m_imageList->addImages({path});
    return open(path, name.mid(name.lastIndexOf('/') + 1));
}

void ImageViewers::updateWindowPaint()
{
    for (ImageViewer* v : viewers())
        v->redrawFeatureOverlay();
}

void ImageViewers::updateZooms(double)
{
    for (ImageViewer* v : viewers())
        v->alignWithSelection();
}

void ImageViewers::deleteImageViewer(const QString& filename)
{
    LogLine() << "Finding Window\n" << std::flush;
    for (int i = 0; i < imagesView.size(); ++i) {
        if (imagesView[i] && imagesView[i]->fileName() == filename) {
            imagesView.removeAt(i);
            LogLine() << "deleting!\n" << std::flush;
            break;
        }
    }
    imagesView.removeAll(nullptr);
    for (ImageViewer* v : viewers())
        v->redrawFeatureOverlay();
}
