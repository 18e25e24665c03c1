#pragma once

#include <QString>

class QListWidget;
class QStatusBar;

// The one way every feature writes a line to the "Log View" list.
class LogView
{
public:
    // Appends text as a new last row; a trailing newline stays in the row's
    // text. A list scrolled to its end follows the new row; one scrolled back
    // stays. A null list is ignored.
    static void append(QListWidget* list, const QString& text);
    // The list shows the libraries' log channel from now on (its traces stay
    // on standard output), the status bar its status texts.
    static void follow(QListWidget* list, QStatusBar* statusBar);
};
