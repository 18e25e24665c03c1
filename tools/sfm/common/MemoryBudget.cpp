#include "MemoryBudget.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>

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

std::uint64_t MemoryBudget::availableBytes()
{
    std::ifstream in("/proc/meminfo");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("MemAvailable:", 0) != 0)
            continue;
        std::istringstream words(line.substr(13));
        std::uint64_t kib = 0;
        if (words >> kib)
            return kib * 1024;
    }
    return 0;
}
