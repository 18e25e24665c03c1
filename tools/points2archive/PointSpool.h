#pragma once

#include "ArchivePoint.h"

#include <cstdio>
#include <string>

// A file of raw ArchivePoint records: the intermediate of the first pass and
// the pieces of nodes too large to sort in memory. Written and read through a
// buffer of its own, so several can be open at once with bounded memory.
class PointSpool
{
public:
    PointSpool() = default;
    ~PointSpool();
    PointSpool(const PointSpool&) = delete;
    PointSpool& operator=(const PointSpool&) = delete;

    bool create(const std::string& path, std::string& error);
    bool openForReading(const std::string& path, std::string& error);

    bool append(const ArchivePoint* points, size_t count, std::string& error);
    // Up to max records; 0 at the end. A short or failed read sets error.
    size_t read(ArchivePoint* points, size_t max, std::string& error);
    // Flushes what was written; false when the data did not reach the disk.
    bool close(std::string& error);

    long long count() const { return m_count; }
    const std::string& path() const { return m_path; }

    static constexpr size_t bufferBytes = 1u << 20;

private:
    std::FILE* m_file = nullptr;
    std::string m_path;
    long long m_count = 0;
    bool m_writing = false;
};
