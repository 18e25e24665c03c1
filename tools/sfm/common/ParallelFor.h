#pragma once

#include <algorithm>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

// Runs job(i) for i = 0 .. count-1 on up to `threads` threads (0: one per
// core), handing out indices in order; returns when all are done.
class ParallelFor
{
public:
    static int defaultThreads()
    {
        const unsigned n = std::thread::hardware_concurrency();
        return n ? int(n) : 1;
    }

    static void run(size_t count, int threads, const std::function<void(size_t)>& job)
    {
        if (threads <= 0)
            threads = defaultThreads();
        const size_t workers = std::min(count, size_t(threads));
        if (workers <= 1) {
            for (size_t i = 0; i < count; ++i)
                job(i);
            return;
        }
        std::atomic<size_t> next{0};
        std::vector<std::thread> pool;
        for (size_t w = 0; w < workers; ++w)
            pool.emplace_back([&] {
                for (size_t i = next++; i < count; i = next++)
                    job(i);
            });
        for (auto& t : pool)
            t.join();
    }
};
