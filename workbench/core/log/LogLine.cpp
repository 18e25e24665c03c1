#include "core/log/LogLine.h"

#include "core/log/LogSink.h"

LogLine::~LogLine()
{
    LogSink::print(m_level, m_text.str());
}

LogLine& LogLine::operator<<(const QString& text)
{
    m_text << text.toStdString();
    return *this;
}

LogLine& LogLine::operator<<(std::ostream& (*manipulator)(std::ostream&))
{
    manipulator(m_text);
    return *this;
}
