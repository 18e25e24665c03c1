#include "ConfigWindow.h"

#include <QPushButton>

ConfigWindow::ConfigWindow(QWidget* parent) : QMainWindow(parent), m_okButton(new QPushButton(tr("OK"), this))
{
    setWindowTitle(tr("Scan Settings"));
}
