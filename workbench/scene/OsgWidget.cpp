#include "OsgWidget.h"

#include <QGridLayout>

OsgWidget::OsgWidget(osgViewer::ViewerBase::ThreadingModel threadingModel, QListWidget* logList,
                     QWidget* parent)
    : QWidget(parent), m_root(new osg::Group), m_log(logList)
{
    setThreadingModel(threadingModel);
    setKeyEventSetsDone(0);
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
}

OsgWidget::~OsgWidget() = default;

void OsgWidget::showTop() {}
void OsgWidget::showBottom() {}
void OsgWidget::showLeft() {}
void OsgWidget::showRight() {}
void OsgWidget::showFront() {}
void OsgWidget::showBack() {}

int OsgWidget::bookmarkCount() const { return m_bookmarks; }
void OsgWidget::createBookmark() { m_bookmarks = qMin(m_bookmarks + 1, 11); m_bookmarkList.push_back({}); }
void OsgWidget::goToBookmark(int) {}
void OsgWidget::selectManipulator(int) {}
