#include "ui/log/LogView.h"

#include <QListWidget>

void LogView::append(QListWidget* list, const QString& text)
{
    if (list)
        list->insertItems(list->count(), QStringList(text));
}
