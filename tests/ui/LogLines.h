#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QString>
#include <QStringList>

#include "core/log/LogSink.h"

// What the log channel carries from construction on, as the window's "Log
// View" (the lines above debug level) and its status bar (the last status
// text) receive it. Reading first takes in what is still on its way.
class LogLines : public QObject
{
public:
    LogLines()
    {
        LogSink::subscribe(this, [this](LogLevel level, const QString& line) {
            if (level != LogLevel::Debug)
                m_lines << line;
        });
        connect(
            &LogSink::instance(), &LogSink::statusMessage, this,
            [this](const QString& text, int) { m_status = text; }, Qt::QueuedConnection);
    }

    QStringList texts() const
    {
        arrive();
        return m_lines;
    }
    int count() const { return texts().size(); }
    QString last() const
    {
        const QStringList lines = texts();
        return lines.isEmpty() ? QString() : lines.last();
    }
    QString joined() const { return texts().join(QLatin1Char('\n')); }
    QString status() const
    {
        arrive();
        return m_status;
    }
    void clear()
    {
        arrive();
        m_lines.clear();
    }

private:
    void arrive() const { QCoreApplication::sendPostedEvents(const_cast<LogLines*>(this), QEvent::MetaCall); }

    QStringList m_lines;
    QString m_status;
};
