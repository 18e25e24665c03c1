#pragma once

#include "core/log/LogLevel.h"

#include <QObject>
#include <QRecursiveMutex>
#include <QString>

#include <string>

// The one channel the libraries write their messages to; the window's log
// view, its status bar and tests subscribe to it. Safe to write from any
// thread: lines reach every subscriber in the order they were written.
class LogSink : public QObject
{
    Q_OBJECT
public:
    static LogSink& instance();

    // Writes text to standard output exactly as given (the diagnostics other
    // programs and scripts read there) and hands its lines, without their
    // newlines, to the subscribers at the given level.
    static void print(LogLevel level, const std::string& text);
    // print() with printf formatting.
    static void printf(LogLevel level, const char* format, ...) __attribute__((format(printf, 2, 3)));
    // A line for the subscribers only.
    static void write(LogLevel level, const QString& line);
    // A text meant for the window's status bar, shown for timeoutMs (0: until replaced).
    static void status(const QString& text, int timeoutMs = 2000);

    // Calls receiver(level, line) in context's thread for every line, in
    // order, through the context's event loop.
    template <typename Receiver>
    static QMetaObject::Connection subscribe(const QObject* context, Receiver receiver)
    {
        return connect(&instance(), &LogSink::message, context, std::move(receiver), Qt::QueuedConnection);
    }

signals:
    void message(LogLevel level, const QString& line);
    void statusMessage(const QString& text, int timeoutMs);

private:
    LogSink();
    void deliver(LogLevel level, const std::string* console, const QString& text);

    // Recursive: a subscriber connected directly may write a line itself.
    QRecursiveMutex m_mutex;
};
