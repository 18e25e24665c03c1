#include "MainWindow.h"

#include "OsgWidget.h"

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    m_osgWidget = new OsgWidget(osgViewer::ViewerBase::SingleThreaded, nullptr);
    setCentralWidget(m_osgWidget);
}
