#include "ui/log/LogView.h"

#include <QListWidget>
#include <QScrollBar>
#include <QStatusBar>

#include "core/log/LogSink.h"

void LogView::append(QListWidget* list, const QString& text)
{
    if (!list)
        return;
    // A reader at the end keeps seeing the newest line; one who scrolled
    // back to read stays where he is.
    const QScrollBar* bar = list->verticalScrollBar();
    // A hidden list follows too; the window scrolls it to its end when shown.
    const bool following = !list->isVisible() || bar->value() >= bar->maximum();
    list->insertItems(list->count(), QStringList(text));
    if (following)
        list->scrollToBottom();
}

void LogView::follow(QListWidget* list, QStatusBar* statusBar)
{
    LogSink::subscribe(list, [list](LogLevel level, const QString& line) {
        if (level != LogLevel::Debug)
            append(list, line);
    });
    QObject::connect(
        &LogSink::instance(), &LogSink::statusMessage, statusBar,
        [statusBar](const QString& text, int timeoutMs) { statusBar->showMessage(text, timeoutMs); },
        Qt::QueuedConnection);
}
