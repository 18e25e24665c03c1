#include "PropertyWindow.h"

PropertyWindow::PropertyWindow(QWidget* parent) : QMainWindow(parent) {}
