#include "MemoryBudget.h"

#include <algorithm>

MemoryBudget::MemoryBudget(std::uint64_t bytes) : m_limit(bytes) {}

void MemoryBudget::acquire(std::uint64_t bytes)
{
    std::unique_lock<std::mutex> guard(m_lock);
    m_changed.wait(guard, [&] { return m_jobs == 0 || (m_used <= m_limit && bytes <= m_limit - m_used); });
    m_used += bytes;
    ++m_jobs;
    m_peak = std::max(m_peak, m_jobs);
}

void MemoryBudget::release(std::uint64_t bytes)
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_used -= std::min(bytes, m_used);
        --m_jobs;
    }
    m_changed.notify_all();
}

int MemoryBudget::peakJobs() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_peak;
}
