#include "MyListWidget.h"

MyListWidget::MyListWidget(QWidget* parent) : QListWidget(parent) {}

void MyListWidget::addImage(const QString& fullPath, const QString& displayName)
{
    addItem(displayName);
    m_paths.insert(displayName, fullPath);
}

void MyListWidget::clearImages()
{
    clear();
    m_paths.clear();
}
