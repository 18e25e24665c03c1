#pragma once

#include <QCoreApplication>
#include <QString>

#include <osg/BoundingSphere>
#include <osg/Vec3d>

#include <deque>

class OsgWidget;
namespace osg
{
class Node;
}
namespace osgGA
{
class CameraManipulator;
}

// Where the 3D view looks from: the six standard views of the whole scene,
// the bookmarks (at most maxBookmarks, oldest first) and the choice of the
// manipulator that drives the camera. Each move asks the view for a frame.
class ViewControl
{
    Q_DECLARE_TR_FUNCTIONS(ViewControl)
public:
    struct Bookmark {
        osg::Vec3d eye;
        osg::Vec3d centre;
        osg::Vec3d up;
    };
    static constexpr int maxBookmarks = 11;
    static constexpr double fieldOfView = 30.0; // vertical, degrees

    explicit ViewControl(OsgWidget& view);

    // The manipulator that moves the camera now (inside the set once one is selected).
    osgGA::CameraManipulator* activeManipulator() const;
    // "Top", "Bottom", "Left", "Right", "Front" or "Back"; other names and
    // an empty scene do nothing.
    void showStandardView(const QString& name);
    // The eye of a standard view for a scene bound seen through a viewport of
    // the given size; false for unknown names.
    static bool standardEye(const QString& name, const osg::BoundingSphered& bound, double width,
                            double height, osg::Vec3d& eye);
    // Looks from the top at one subtree (the sensor nodes), filling the view with it.
    void frameFromTop(const osg::Node& node);
    // Looks from the top at a bound (layers' "Zoom To"); an invalid one does nothing.
    void frameFromTop(const osg::BoundingSphered& bound);
    // The whole scene's bound in double precision.
    osg::BoundingSphered sceneBound() const;

    void createBookmark();
    void goToBookmark(int index);
    const std::deque<Bookmark>& bookmarks() const { return m_bookmarks; }
    void setBookmarks(const std::deque<Bookmark>& bookmarks);

    // Selects an entry of the manipulator set and lets it drive the view.
    void selectManipulator(int index);

private:
    void showFrom(const QString& name, const osg::BoundingSphered& bound);
    // Moves the active manipulator to look from eye at centre.
    void lookFrom(const osg::Vec3d& eye, const osg::Vec3d& centre, const osg::Vec3d& up);

    OsgWidget& m_view;
    std::deque<Bookmark> m_bookmarks;
};
