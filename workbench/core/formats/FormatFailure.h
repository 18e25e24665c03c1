#pragma once

#include <QString>

// How the point file readers, writers and conversions give up: the reason goes
// to the log and, when the caller asks for it, into its message.
class FormatFailure
{
public:
    // Always false, so that a reader can return it.
    static bool report(QString* message, const QString& text);
    // The same for "<label>: <text>", the label naming the file or its format.
    static bool report(QString* message, const QString& label, const QString& text);
};
