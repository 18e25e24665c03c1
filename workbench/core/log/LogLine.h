#pragma once

#include "core/log/LogLevel.h"

#include <QString>

#include <ostream>
#include <sstream>

// Collects one message with stream syntax and hands it to the LogSink when
// the statement ends: LogLine(LogLevel::Info) << "Points: " << n << "\n";
// The text reaches standard output as written, as std::cout would print it.
class LogLine
{
public:
    explicit LogLine(LogLevel level = LogLevel::Debug) : m_level(level) {}
    LogLine(const LogLine&) = delete;
    LogLine& operator=(const LogLine&) = delete;
    ~LogLine();

    template <typename T> LogLine& operator<<(const T& value)
    {
        m_text << value;
        return *this;
    }
    LogLine& operator<<(const QString& text);
    LogLine& operator<<(std::ostream& (*manipulator)(std::ostream&));

private:
    LogLevel m_level;
    std::ostringstream m_text;
};
