#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class OsgWidget;
class QAction;
class QMenu;
class QWidget;

// The window's actions on the 3D view: the standard views (an empty scene
// keeps its camera), the bookmark menu with one entry per bookmark the view
// holds, the manipulator switch, measuring, the shapes extracted from the
// image viewers' matches, and the sensor display's switch.
class ViewActions : public QObject
{
    Q_OBJECT
public:
    ViewActions(OsgWidget* scene, QObject* parent = nullptr);

    // The menu the bookmark entries go to.
    void setBookmarkMenu(QMenu* menu) { m_bookmarkMenu = menu; }

    // "Top", "Bottom", "Left", "Right", "Front" or "Back" of a scene that holds something.
    void showStandardView(const QString& name);

    void createBookmark();
    void goToBookmark(int index);
    // One entry per bookmark the scene holds, each going to its own bookmark.
    void refreshBookmarkMenu();

    void switchManipulator();
    void measureToggle(bool on);
    // Extracts the shape of the image viewers' matches (files under appDir),
    // then lets the viewers repaint.
    void extractShape(const QString& appDir, const std::function<void()>& repaintViewers);

    // The action follows the sensor display, also when the device goes
    // away; a failure is shown in a message box on window.
    void followSensors(QAction* action, QWidget* window);
    void switchSensors(bool on);
    void switchSmoke(bool on);

signals:
    void statusMessage(const QString& text, int timeoutMs);
    void logLine(const QString& line);

private:
    void addBookmarkAction(int n);

    OsgWidget* m_scene;
    QMenu* m_bookmarkMenu = nullptr;
    QList<QAction*> m_bookmarkActions;
};
