#include "ui/annotation/ToolButtonRow.h"

#include <QAction>
#include <QToolButton>
#include <QWidget>

ToolButtonRow::ToolButtonRow(QWidget* owner) : m_owner(owner) {}

QAction* ToolButtonRow::addButton(const QString& text)
{
    auto* action = new QAction(text, m_owner);
    auto* button = new QToolButton(m_owner);
    button->setDefaultAction(action);
    addWidget(button);
    return action;
}
