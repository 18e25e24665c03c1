#include "DepthMapStore.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/files/AtomicFile.h"

namespace fs = std::filesystem;

namespace
{

constexpr char magic[8] = {'O', 'R', 'V', 'D', 'M', 'A', 'P', '1'};
// A map is at most this many pixels a side: a bound for a damaged header.
constexpr std::int32_t largestSide = 1 << 16;

template <typename T>
void put(std::string& out, const T& value)
{
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// Reads from a byte range, refusing to run past its end.
class Reader
{
public:
    Reader(const std::string& bytes) : m_bytes(bytes) {}
    template <typename T>
    bool get(T& value)
    {
        return take(&value, sizeof value);
    }
    bool take(void* to, size_t n)
    {
        if (n > m_bytes.size() - m_at)
            return false;
        std::memcpy(to, m_bytes.data() + m_at, n);
        m_at += n;
        return true;
    }
    size_t left() const { return m_bytes.size() - m_at; }

private:
    const std::string& m_bytes;
    size_t m_at = 0;
};

void putMat(std::string& out, const cv::Mat& m)
{
    const cv::Mat c = m.isContinuous() ? m : m.clone();
    out.append(reinterpret_cast<const char*>(c.data), c.total() * c.elemSize());
}

bool getMat(Reader& in, cv::Mat& m, int rows, int cols, int type)
{
    m.create(rows, cols, type);
    return in.take(m.data, m.total() * m.elemSize());
}

} // namespace

DepthMapStore::DepthMapStore(std::string folder) : m_folder(std::move(folder)) {}

std::string DepthMapStore::path(int view) const
{
    char name[32];
    std::snprintf(name, sizeof name, "%08d.dmap", view);
    return m_folder + name;
}

bool DepthMapStore::save(int view, const std::string& key, const DepthMap& map, std::string* error) const
{
    std::error_code ec;
    fs::create_directories(m_folder, ec);
    const cv::Size size = map.depth.size();
    if (map.score.size() != size || map.normal.size() != size || map.depth.type() != CV_32F ||
        map.score.type() != CV_32F || map.normal.type() != CV_32FC3) {
        if (error)
            *error = "depth map of view " + std::to_string(view) + " is incomplete";
        return false;
    }
    std::string out(magic, sizeof magic);
    put(out, std::uint32_t(key.size()));
    out += key;
    for (const double p : map.camera.projection())
        put(out, p);
    put(out, std::int32_t(map.camera.width));
    put(out, std::int32_t(map.camera.height));
    put(out, std::int32_t(size.width));
    put(out, std::int32_t(size.height));
    put(out, std::int32_t(map.planes));
    put(out, map.swept);
    out.reserve(out.size() + size.area() * 20);
    putMat(out, map.depth);
    putMat(out, map.score);
    putMat(out, map.normal);
    return AtomicFile::write(path(view), out, error);
}

bool DepthMapStore::load(int view, const std::string& key, const MvsCamera& camera, DepthMap& map) const
{
    std::ifstream file(path(view), std::ios::binary);
    if (!file)
        return false;
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    Reader in(bytes);
    char head[sizeof magic];
    std::uint32_t keySize = 0;
    if (!in.take(head, sizeof head) || std::memcmp(head, magic, sizeof magic) != 0 || !in.get(keySize) ||
        keySize != key.size())
        return false;
    std::string stored(keySize, '\0');
    if (!in.take(stored.data(), keySize) || stored != key)
        return false;
    for (const double expected : camera.projection()) {
        double p = 0;
        // The same camera bit for bit: any other is another view.
        if (!in.get(p) || std::memcmp(&p, &expected, sizeof p) != 0)
            return false;
    }
    std::int32_t camWidth = 0, camHeight = 0, width = 0, height = 0, planes = 0;
    double swept = 0;
    if (!in.get(camWidth) || !in.get(camHeight) || camWidth != camera.width || camHeight != camera.height ||
        !in.get(width) || !in.get(height) || width < 1 || height < 1 || width > largestSide ||
        height > largestSide || !in.get(planes) || !in.get(swept))
        return false;
    if (in.left() != size_t(width) * size_t(height) * 20)
        return false;
    DepthMap m;
    if (!getMat(in, m.depth, height, width, CV_32F) || !getMat(in, m.score, height, width, CV_32F) ||
        !getMat(in, m.normal, height, width, CV_32FC3))
        return false;
    m.camera = camera;
    m.planes = planes;
    m.swept = swept;
    map = std::move(m);
    return true;
}

void DepthMapStore::remove(int view) const
{
    std::error_code ec;
    fs::remove(path(view), ec);
}
