#pragma once

#include <QMainWindow>

// The small window the layers' "properties" entries open.
class PropertyWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit PropertyWindow(QWidget* parent = nullptr);
};
