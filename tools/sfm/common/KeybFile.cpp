#include "KeybFile.h"

#include <cstring>
#include <fstream>
#include <istream>
#include <ostream>
#include <sstream>

#include "common/files/AtomicFile.h"

namespace
{

constexpr char magic[8] = {'O', 'R', 'V', 'K', 'E', 'Y', 'B', '1'};
constexpr std::uint32_t longestName = 4096;

void putU32(std::ostream& out, std::uint32_t v)
{
    const char bytes[4] = {char(v & 0xff), char((v >> 8) & 0xff), char((v >> 16) & 0xff), char(v >> 24)};
    out.write(bytes, 4);
}

void putF32(std::ostream& out, float f)
{
    std::uint32_t v;
    std::memcpy(&v, &f, 4);
    putU32(out, v);
}

bool getU32(std::istream& in, std::uint32_t& v)
{
    unsigned char b[4];
    if (!in.read(reinterpret_cast<char*>(b), 4))
        return false;
    v = std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
        std::uint32_t(b[3]) << 24;
    return true;
}

bool getF32(std::istream& in, float& f)
{
    std::uint32_t v;
    if (!getU32(in, v))
        return false;
    std::memcpy(&f, &v, 4);
    return true;
}

bool fail(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

// Reads and checks the header; leaves the stream at the keypoints.
bool readHead(std::istream& in, FeatureSet& features, std::uint32_t& count, std::string* error)
{
    features = FeatureSet();
    char head[8];
    if (!in.read(head, 8) || std::memcmp(head, magic, 8) != 0)
        return fail(error, "not a keyb feature file");
    std::uint32_t width = 0, height = 0, size = 0, nameLength = 0;
    if (!getU32(in, width) || !getU32(in, height) || !getU32(in, count) || !getU32(in, size) ||
        !getU32(in, nameLength))
        return fail(error, "truncated keyb header");
    if (size != FeatureSet::descriptorSize)
        return fail(error, "descriptor size " + std::to_string(size) + " instead of 128");
    if (nameLength > longestName || width > (1u << 20) || height > (1u << 20))
        return fail(error, "keyb header out of range");
    // The declared count must match what the file holds before anything is reserved.
    const auto here = in.tellg();
    in.seekg(0, std::ios::end);
    const auto end = in.tellg();
    in.seekg(here);
    const unsigned long long expected =
        nameLength + static_cast<unsigned long long>(count) * (16 + FeatureSet::descriptorSize);
    if (here < 0 || end < 0 || static_cast<unsigned long long>(end - here) != expected)
        return fail(error, "keyb file size does not match its " + std::to_string(count) + " features");
    features.imageName.resize(nameLength);
    if (nameLength && !in.read(&features.imageName[0], nameLength))
        return fail(error, "truncated image name");
    features.width = int(width);
    features.height = int(height);
    return true;
}

} // namespace

bool KeybFile::read(std::istream& in, FeatureSet& features, std::string* error)
{
    std::uint32_t count = 0;
    if (!readHead(in, features, count, error))
        return false;
    features.keypoints.resize(count);
    for (auto& k : features.keypoints)
        if (!getF32(in, k.x) || !getF32(in, k.y) || !getF32(in, k.scale) || !getF32(in, k.orientation))
            return fail(error, "truncated keypoints");
    features.descriptors.resize(size_t(count) * FeatureSet::descriptorSize);
    if (count && !in.read(reinterpret_cast<char*>(features.descriptors.data()),
                          std::streamsize(features.descriptors.size())))
        return fail(error, "truncated descriptors");
    return true;
}

bool KeybFile::readFile(const std::string& path, FeatureSet& features, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return fail(error, "cannot open feature file " + path);
    std::string message;
    if (read(in, features, &message))
        return true;
    return fail(error, path + ": " + message);
}

bool KeybFile::readHeader(const std::string& path, FeatureSet& features, size_t& count, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return fail(error, "cannot open feature file " + path);
    std::uint32_t n = 0;
    std::string message;
    if (!readHead(in, features, n, &message))
        return fail(error, path + ": " + message);
    count = n;
    return true;
}

void KeybFile::write(std::ostream& out, const FeatureSet& features)
{
    out.write(magic, 8);
    putU32(out, std::uint32_t(features.width));
    putU32(out, std::uint32_t(features.height));
    putU32(out, std::uint32_t(features.size()));
    putU32(out, FeatureSet::descriptorSize);
    putU32(out, std::uint32_t(features.imageName.size()));
    out.write(features.imageName.data(), std::streamsize(features.imageName.size()));
    for (const auto& k : features.keypoints) {
        putF32(out, k.x);
        putF32(out, k.y);
        putF32(out, k.scale);
        putF32(out, k.orientation);
    }
    out.write(reinterpret_cast<const char*>(features.descriptors.data()),
              std::streamsize(features.descriptors.size()));
}

bool KeybFile::writeFile(const std::string& path, const FeatureSet& features, std::string* error)
{
    if (!features.consistent())
        return fail(error, "descriptor count does not match the keypoints for " + path);
    std::ostringstream out(std::ios::binary);
    write(out, features);
    return AtomicFile::write(path, out.str(), error);
}

std::string KeybFile::pathForImage(const std::string& imagePath)
{
    if (imagePath.size() < 3)
        return imagePath + "keyb";
    return imagePath.substr(0, imagePath.size() - 3) + "keyb";
}
