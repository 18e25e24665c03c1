#pragma once

#include <QMainWindow>

class OsgWidget;

class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);

private:
    OsgWidget* m_osgWidget = nullptr;
};
