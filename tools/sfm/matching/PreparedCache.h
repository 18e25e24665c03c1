#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "PairMatcher.h"

// The photos' features made ready for matching, loaded when a pair first
// needs them and kept while they fit a byte budget: the least recently used
// photo that no pair in flight holds goes first. Several threads may ask for
// the same photo at once; it is loaded once and the others wait for it. A
// photo that could not be loaded stays so, with its reason.
class PreparedCache
{
public:
    using Prepared = std::shared_ptr<const PairMatcher::Prepared>;
    // Loads photo i; null with a reason when it cannot. bytes: what it holds.
    using Loader = std::function<Prepared(size_t photo, std::uint64_t& bytes, std::string& problem)>;

    PreparedCache(size_t photos, std::uint64_t budget, Loader loader);

    // Null when the photo cannot be loaded; problem then says why.
    Prepared get(size_t photo, std::string* problem = nullptr);

    // Why the photo could not be loaded; empty when it could or was not asked for.
    std::string failure(size_t photo) const;

    // Loads in all, counting each photo loaded again after it was let go.
    size_t loads() const;
    std::uint64_t peakBytes() const;

private:
    struct Entry {
        Prepared value;
        std::uint64_t bytes = 0;
        std::uint64_t lastUse = 0;
        bool loading = false;
        std::string problem;
    };
    void evict(size_t keep);

    std::vector<Entry> m_entries;
    const std::uint64_t m_budget;
    Loader m_loader;
    std::uint64_t m_used = 0;
    std::uint64_t m_peak = 0;
    std::uint64_t m_clock = 0;
    size_t m_loads = 0;
    mutable std::mutex m_lock;
    std::condition_variable m_loaded;
};
