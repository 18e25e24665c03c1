#include "scene/view/ViewControl.h"

#include "core/log/LogSink.h"

#include <osg/Math>
#include <osgGA/KeySwitchMatrixManipulator>

#include <cmath>
#include <cstdio>

#include "scene/view/GLWidget.h"
#include "scene/view/OsgWidget.h"
#include "scene/view/SceneBound.h"

ViewControl::ViewControl(OsgWidget& view) : m_view(view) {}

osgGA::CameraManipulator* ViewControl::activeManipulator() const
{
    osgGA::CameraManipulator* manipulator = m_view.getOsgView()->getCameraManipulator();
    // The set's own home() does nothing; its current entry is what moves.
    if (auto* set = dynamic_cast<osgGA::KeySwitchMatrixManipulator*>(manipulator))
        manipulator = set->getCurrentMatrixManipulator();
    return manipulator;
}

bool ViewControl::standardEye(const QString& name, const osg::BoundingSphered& bound, double width,
                              double height, osg::Vec3d& eye)
{
    const double fov = osg::DegreesToRadians(fieldOfView);
    const double d = std::fabs((2.0 * bound.radius() / (2.0 * std::tan(fov / 2.0))) * (width / height));
    const osg::Vec3d c = bound.center();
    if (name == QLatin1String("Top"))
        eye = c + osg::Vec3d(0, 0, d);
    else if (name == QLatin1String("Bottom"))
        eye = c - osg::Vec3d(0, 0, d);
    else if (name == QLatin1String("Left"))
        eye = c - osg::Vec3d(d, 0, 0);
    else if (name == QLatin1String("Right"))
        eye = c + osg::Vec3d(d, 0, 0);
    else if (name == QLatin1String("Front"))
        eye = c - osg::Vec3d(0, d, 0);
    else if (name == QLatin1String("Back"))
        eye = c + osg::Vec3d(0, d, 0);
    else
        return false;
    return true;
}

osg::BoundingSphered ViewControl::sceneBound() const
{
    return SceneBound::of(*m_view.getRoot());
}

void ViewControl::lookFrom(const osg::Vec3d& eye, const osg::Vec3d& centre, const osg::Vec3d& up)
{
    osgGA::CameraManipulator* manipulator = activeManipulator();
    if (!manipulator)
        return;
    manipulator->setHomePosition(eye, centre, up, false);
    manipulator->home(0.0);
    m_view.glWidget()->update();
}

void ViewControl::showStandardView(const QString& name)
{
    showFrom(name, sceneBound());
}

void ViewControl::frameFromTop(const osg::Node& node)
{
    showFrom(QStringLiteral("Top"), SceneBound::of(node));
}

void ViewControl::frameFromTop(const osg::BoundingSphered& bound)
{
    showFrom(QStringLiteral("Top"), bound);
}

void ViewControl::showFrom(const QString& name, const osg::BoundingSphered& bound)
{
    m_view.requestFrame();
    // An empty scene has no centre to look at.
    if (!bound.valid())
        return;
    const osg::Viewport* viewport = m_view.getCamera()->getViewport();
    if (!viewport || viewport->height() <= 0)
        return;
    osg::Vec3d eye;
    if (!standardEye(name, bound, viewport->width(), viewport->height(), eye))
        return;
    lookFrom(eye, bound.center(), osg::Vec3d(0, 0, 1));
}

// ----------------------------------------------------------------- bookmarks

void ViewControl::createBookmark()
{
    Bookmark mark;
    m_view.getCamera()->getViewMatrixAsLookAt(mark.eye, mark.centre, mark.up, 1.0);
    if (int(m_bookmarks.size()) >= maxBookmarks) {
        m_bookmarks.pop_front();
        LogSink::printf(LogLevel::Debug, "bookmarkSt.size()= %zu\n", m_bookmarks.size());
    }
    m_bookmarks.push_back(mark);
}

void ViewControl::goToBookmark(int index)
{
    m_view.requestFrame();
    if (index < 0 || index >= int(m_bookmarks.size()))
        return;
    // The view the bookmark was saved with: its own eye, direction and up,
    // whatever layers came or went since.
    const Bookmark& mark = m_bookmarks[size_t(index)];
    lookFrom(mark.eye, mark.centre, mark.up);
}

void ViewControl::setBookmarks(const std::deque<Bookmark>& bookmarks)
{
    m_bookmarks = bookmarks;
    while (int(m_bookmarks.size()) > maxBookmarks)
        m_bookmarks.pop_front();
}

// --------------------------------------------------------------- manipulators

void ViewControl::selectManipulator(int index)
{
    m_view.requestFrame();
    osgGA::KeySwitchMatrixManipulator* set = m_view.manipulatorSet();
    if (index < 0 || index >= int(set->getNumMatrixManipulators()))
        return;
    // Keep the camera where it is while the driving manipulator changes.
    const osg::Matrixd viewMatrix = m_view.getCamera()->getViewMatrix();
    set->selectMatrixManipulator(unsigned(index));
    if (m_view.getOsgView()->getCameraManipulator() != set)
        m_view.getOsgView()->setCameraManipulator(set, false);
    set->setByInverseMatrix(viewMatrix);
}
