#include "core/log/LogSink.h"

#include <QMutexLocker>
#include <QStringList>

#include <cstdarg>
#include <cstdio>
#include <iostream>
#include <vector>

LogSink::LogSink()
{
    qRegisterMetaType<LogLevel>("LogLevel");
}

LogSink& LogSink::instance()
{
    static LogSink sink;
    return sink;
}

void LogSink::deliver(LogLevel level, const std::string* console, const QString& text)
{
    // One lock over the echo and the posting keeps standard output and the
    // subscribers' queues in the same order whichever thread writes.
    QMutexLocker lock(&m_mutex);
    if (console) {
        std::cout << *console;
        std::cout.flush();
    }
    QString body = text;
    while (body.endsWith(QLatin1Char('\n')))
        body.chop(1);
    if (body.isEmpty() && console)
        return;
    for (const QString& line : body.split(QLatin1Char('\n')))
        emit message(level, line);
}

void LogSink::print(LogLevel level, const std::string& text)
{
    instance().deliver(level, &text, QString::fromStdString(text));
}

void LogSink::printf(LogLevel level, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int size = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (size > 0) {
        std::vector<char> buffer(size_t(size) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, again);
        text.assign(buffer.data(), size_t(size));
    }
    va_end(again);
    print(level, text);
}

void LogSink::write(LogLevel level, const QString& line)
{
    instance().deliver(level, nullptr, line);
}

void LogSink::status(const QString& text, int timeoutMs)
{
    LogSink& sink = instance();
    QMutexLocker lock(&sink.m_mutex);
    emit sink.statusMessage(text, timeoutMs);
}
