#include "PointSpool.h"

#include <cerrno>
#include <cstring>

PointSpool::~PointSpool()
{
    if (m_file)
        std::fclose(m_file);
}

bool PointSpool::create(const std::string& path, std::string& error)
{
    m_path = path;
    m_writing = true;
    m_count = 0;
    m_file = std::fopen(path.c_str(), "wb");
    if (!m_file) {
        error = "cannot create " + path + ": " + std::strerror(errno);
        return false;
    }
    std::setvbuf(m_file, nullptr, _IOFBF, bufferBytes);
    return true;
}

bool PointSpool::openForReading(const std::string& path, std::string& error)
{
    m_path = path;
    m_writing = false;
    m_file = std::fopen(path.c_str(), "rb");
    if (!m_file) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    std::setvbuf(m_file, nullptr, _IOFBF, bufferBytes);
    return true;
}

bool PointSpool::append(const ArchivePoint* points, size_t count, std::string& error)
{
    if (count == 0)
        return true;
    if (std::fwrite(points, sizeof(ArchivePoint), count, m_file) != count) {
        error = "cannot write " + m_path + ": " + std::strerror(errno);
        return false;
    }
    m_count += static_cast<long long>(count);
    return true;
}

size_t PointSpool::read(ArchivePoint* points, size_t max, std::string& error)
{
    const size_t n = std::fread(points, sizeof(ArchivePoint), max, m_file);
    if (n < max && std::ferror(m_file))
        error = "cannot read " + m_path + ": " + std::strerror(errno);
    m_count += static_cast<long long>(n);
    return n;
}

bool PointSpool::close(std::string& error)
{
    if (!m_file)
        return true;
    const bool flushed = std::fflush(m_file) == 0;
    const bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    if (m_writing && !(flushed && closed)) {
        error = "cannot write " + m_path + ": " + std::strerror(errno);
        return false;
    }
    return true;
}
