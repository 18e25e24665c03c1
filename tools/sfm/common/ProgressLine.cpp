#include "ProgressLine.h"

#include <utility>

ProgressLine::ProgressLine(std::ostream* out, std::string what, std::size_t total, std::string unit)
    : m_out(out), m_what(std::move(what)), m_total(total), m_unit(std::move(unit))
{
    if (m_total > 0)
        print(0);
}

std::string ProgressLine::text(const std::string& what, std::size_t done, std::size_t total,
                               const std::string& unit)
{
    return "progress: " + (what.empty() ? std::string() : what + ' ') + std::to_string(done) + " of " +
           std::to_string(total) + ' ' + unit;
}

void ProgressLine::step()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_done < m_total)
        print(m_done + 1);
}

void ProgressLine::set(std::size_t done)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (done <= m_total && done != m_done)
        print(done);
}

void ProgressLine::print(std::size_t done)
{
    const bool first = done == 0 && m_done == 0;
    m_done = done;
    if (!m_out || m_total == 0)
        return;
    const std::size_t share = done * 100 / m_total;
    if (!first && share == m_lastShare && done != m_total)
        return;
    m_lastShare = share;
    *m_out << text(m_what, done, m_total, m_unit) << std::endl;
}
