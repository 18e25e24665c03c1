#include "ui/view/ViewActions.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QOpenGLWidget>
#include <QSignalBlocker>

#include "scene/images/ImageMatchScene.h"
#include "scene/interaction/MapController.h"
#include "scene/sensors/SensorDisplay.h"
#include "scene/view/OsgWidget.h"

ViewActions::ViewActions(OsgWidget* scene, QObject* parent) : QObject(parent), m_scene(scene) {}

void ViewActions::showStandardView(const QString& name)
{
    if (m_scene->getRoot()->getNumChildren() > 0)
        m_scene->showStandardView(name);
}

void ViewActions::createBookmark()
{
    m_scene->createBookmark();
    // The twelfth drops the oldest: every entry moves up to its bookmark's place.
    refreshBookmarkMenu();
}

void ViewActions::goToBookmark(int index)
{
    m_scene->goToBookmark(index);
}

void ViewActions::refreshBookmarkMenu()
{
    qDeleteAll(m_bookmarkActions);
    m_bookmarkActions.clear();
    for (int i = 0; i < m_scene->bookmarkCount(); ++i)
        addBookmarkAction(i);
}

void ViewActions::addBookmarkAction(int n)
{
    auto* action = new QAction(tr("&bookmark") + QString::number(n), this);
    action->setCheckable(true);
    action->setStatusTip(tr("recent bookmark"));
    m_bookmarkActions.append(action);
    connect(action, &QAction::triggered, this, [this, n] { goToBookmark(n); });
    if (m_bookmarkMenu)
        m_bookmarkMenu->addAction(action);
}

void ViewActions::switchManipulator()
{
    m_scene->selectManipulator(1);
}

void ViewActions::measureToggle(bool on)
{
    // Switching off also takes the measured lines away.
    m_scene->mapController()->measureToggle(on);
    m_scene->setFocus(Qt::OtherFocusReason);
    if (auto* surface = m_scene->findChild<QOpenGLWidget*>())
        surface->setFocus(Qt::OtherFocusReason);
}

void ViewActions::extractShape(const QString& appDir, const std::function<void()>& repaintViewers)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const ImageMatchScene::Extract result = m_scene->imageMatches()->extract(appDir);
    for (const QString& line : result.log)
        emit logLine(line);
    repaintViewers();
    QApplication::restoreOverrideCursor();
    emit statusMessage(result.points > 0 ? tr("Shape extracted: see the Log View")
                                         : tr("Nothing extracted: see the Log View"),
                       2000);
}

void ViewActions::followSensors(QAction* action, QWidget* window)
{
    SensorDisplay* sensors = m_scene->sensors();
    connect(sensors, &SensorDisplay::switched, action, [action](bool on) {
        const QSignalBlocker quiet(action);
        action->setChecked(on);
    });
    connect(sensors, &SensorDisplay::failed, window, [window](const QString& title, const QString& message) {
        QMessageBox::critical(window, title, message);
    });
}

void ViewActions::switchSensors(bool on)
{
    if (on)
        m_scene->sensors()->start();
    else
        m_scene->sensors()->stop();
}

void ViewActions::switchSmoke(bool on)
{
    m_scene->sensors()->setSmoke(on);
}
