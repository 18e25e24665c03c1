#include "core/formats/FormatFailure.h"

#include "core/log/LogLine.h"

bool FormatFailure::report(QString* message, const QString& text)
{
    LogLine() << text.toStdString() << "\n";
    if (message)
        *message = text;
    return false;
}

bool FormatFailure::report(QString* message, const QString& label, const QString& text)
{
    return report(message, label + QStringLiteral(": ") + text);
}
