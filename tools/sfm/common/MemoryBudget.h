#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

// Lets work into memory only while the bytes it takes fit a budget: a job
// waits until the jobs in flight have left room for it. A job larger than
// the whole budget still runs, alone, so that the work always ends.
class MemoryBudget
{
public:
    explicit MemoryBudget(std::uint64_t bytes);

    void acquire(std::uint64_t bytes);
    void release(std::uint64_t bytes);

    std::uint64_t bytes() const { return m_limit; }
    // The most jobs that were in flight at once.
    int peakJobs() const;

private:
    const std::uint64_t m_limit;
    std::uint64_t m_used = 0;
    int m_jobs = 0;
    int m_peak = 0;
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
};
