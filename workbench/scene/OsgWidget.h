#pragma once

#include <QWidget>

#include <deque>

#include <osg/Vec3d>

#include <osg/Group>
#include <osg/ref_ptr>
#include <osgViewer/CompositeViewer>

class QListWidget;

// The central 3D view: a Qt widget that is also the OpenSceneGraph viewer
// rendering into it. Owns the scene root and every list of loaded layers.
class OsgWidget : public QWidget, public osgViewer::CompositeViewer
{
    Q_OBJECT
public:
    struct Bookmark
    {
        osg::Vec3d eye;
        osg::Vec3d centre;
        osg::Vec3d up;
    };
    OsgWidget(osgViewer::ViewerBase::ThreadingModel threadingModel, QListWidget* logList,
              QWidget* parent = nullptr);
    ~OsgWidget() override;

    osg::Group* getRoot() const { return m_root.get(); }

    // Standard views of the whole scene.
    void showTop();
    void showBottom();
    void showLeft();
    void showRight();
    void showFront();
    void showBack();

    // Bookmarks: at most 11, oldest first.
    int bookmarkCount() const;
    void createBookmark();
    void goToBookmark(int index);
    const std::deque<Bookmark>& bookmarks() const { return m_bookmarkList; }
    void setBookmarks(const std::deque<Bookmark>& bookmarks) { m_bookmarkList = bookmarks; m_bookmarks = int(bookmarks.size()); }

    void selectManipulator(int index);

private:
    osg::ref_ptr<osg::Group> m_root;
    QListWidget* m_log = nullptr;
    int m_bookmarks = 0;
    std::deque<Bookmark> m_bookmarkList;
};
