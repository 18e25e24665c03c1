#pragma once

#include <QListWidget>

// The list of the project's photographs in the "Images View" dock.
class MyListWidget : public QListWidget
{
    Q_OBJECT
public:
    explicit MyListWidget(QWidget* parent = nullptr);

signals:
    void updateDeteleItem();
};
