#pragma once

#include <QMainWindow>

// Corvane's window: the ground station of the airborne tracker.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
};
