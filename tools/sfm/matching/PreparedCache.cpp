#include "PreparedCache.h"

#include <algorithm>

PreparedCache::PreparedCache(size_t photos, std::uint64_t budget, Loader loader)
    : m_entries(photos), m_budget(budget), m_loader(std::move(loader))
{
}

PreparedCache::Prepared PreparedCache::get(size_t photo, std::string* problem)
{
    std::unique_lock<std::mutex> guard(m_lock);
    Entry& e = m_entries.at(photo);
    m_loaded.wait(guard, [&] { return !e.loading; });
    e.lastUse = ++m_clock;
    if (e.value || !e.problem.empty()) {
        if (problem)
            *problem = e.problem;
        return e.value;
    }
    e.loading = true;
    guard.unlock();
    std::uint64_t bytes = 0;
    std::string why;
    Prepared loaded = m_loader(photo, bytes, why);
    if (!loaded && why.empty())
        why = "features not loaded";
    guard.lock();
    e.loading = false;
    ++m_loads;
    if (loaded) {
        e.value = loaded;
        e.bytes = bytes;
        m_used += bytes;
        m_peak = std::max(m_peak, m_used);
        evict(photo);
    } else {
        e.problem = why;
    }
    guard.unlock();
    m_loaded.notify_all();
    if (problem)
        *problem = why;
    return loaded;
}

void PreparedCache::evict(size_t keep)
{
    while (m_used > m_budget) {
        // The least recently used photo that only the cache holds.
        Entry* oldest = nullptr;
        for (size_t i = 0; i < m_entries.size(); ++i) {
            Entry& e = m_entries[i];
            if (i == keep || !e.value || e.value.use_count() > 1)
                continue;
            if (!oldest || e.lastUse < oldest->lastUse)
                oldest = &e;
        }
        if (!oldest)
            return; // all held by pairs in flight: they let go soon
        m_used -= oldest->bytes;
        oldest->value.reset();
        oldest->bytes = 0;
    }
}

size_t PreparedCache::loads() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_loads;
}

std::uint64_t PreparedCache::peakBytes() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_peak;
}

std::string PreparedCache::failure(size_t photo) const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_entries.at(photo).problem;
}
