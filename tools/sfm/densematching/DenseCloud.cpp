#include "DenseCloud.h"

#include <charconv>

#include "common/files/AtomicFile.h"

namespace
{

template <typename T> void appendNumber(std::string& out, T value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

} // namespace

std::string DenseCloud::plyText(const std::string& comment) const
{
    std::string out;
    out.reserve(200 + points.size() * 110);
    out += "ply\nformat ascii 1.0\ncomment ";
    for (char c : comment)
        out += (c == '\n' || c == '\r') ? ' ' : c;
    out += "\nelement vertex ";
    appendNumber(out, points.size());
    out += "\nproperty float x\nproperty float y\nproperty float z\n"
           "property float nx\nproperty float ny\nproperty float nz\n"
           "property uchar red\nproperty uchar green\nproperty uchar blue\nproperty uchar alpha\n"
           "element face 0\nproperty list uchar int vertex_indices\nend_header\n";
    // Positions with the shortest text that reads back the same double.
    for (const Point& p : points) {
        for (double v : p.position) {
            appendNumber(out, v);
            out += ' ';
        }
        for (float v : p.normal) {
            appendNumber(out, v);
            out += ' ';
        }
        for (std::uint8_t c : p.colour) {
            appendNumber(out, int(c));
            out += ' ';
        }
        out += "255\n";
    }
    return out;
}

bool DenseCloud::writePly(const std::vector<std::string>& paths, const std::string& comment,
                          std::string* error) const
{
    const std::string text = plyText(comment);
    for (const std::string& path : paths)
        if (!AtomicFile::write(path, text, error))
            return false;
    return true;
}
