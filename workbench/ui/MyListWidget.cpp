#include "MyListWidget.h"

MyListWidget::MyListWidget(QWidget* parent) : QListWidget(parent) {}
