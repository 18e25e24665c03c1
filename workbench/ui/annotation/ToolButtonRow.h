#pragma once

#include <QHBoxLayout>
#include <QString>

class QAction;
class QWidget;

// A dock's row of command buttons: each a QToolButton showing its action. A
// row of buttons, not a tool bar, since the window's tool bars are its own.
class ToolButtonRow : public QHBoxLayout
{
public:
    // The actions and buttons belong to owner.
    explicit ToolButtonRow(QWidget* owner);

    // A new action, shown as the next button of the row.
    QAction* addButton(const QString& text);

private:
    QWidget* m_owner;
};
