#include "LoweKeyFile.h"

#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>

#include "common/files/AtomicFile.h"

namespace
{

bool fail(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

// Whitespace-separated numbers of a text held in memory, in the C locale.
class NumberScanner
{
public:
    NumberScanner(const char* begin, const char* end) : m_p(begin), m_end(end) {}

    template <typename T> bool next(T& value)
    {
        while (m_p < m_end && (*m_p == ' ' || *m_p == '\t' || *m_p == '\n' || *m_p == '\r'))
            ++m_p;
        if (m_p == m_end)
            return false;
        const auto result = std::from_chars(m_p, m_end, value);
        if (result.ec != std::errc())
            return false;
        m_p = result.ptr;
        return true;
    }
    size_t left() const { return size_t(m_end - m_p); }

private:
    const char* m_p;
    const char* m_end;
};

void putNumber(std::string& out, double value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    out.append(buffer, result.ptr);
}

void putByte(std::string& out, std::uint8_t v)
{
    if (v >= 100)
        out += char('0' + v / 100);
    if (v >= 10)
        out += char('0' + v / 10 % 10);
    out += char('0' + v % 10);
}

} // namespace

bool LoweKeyFile::read(std::istream& in, FeatureSet& features, std::string* error)
{
    features = FeatureSet();
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    NumberScanner numbers(text.data(), text.data() + text.size());
    long long count = 0, size = 0;
    if (!numbers.next(count) || !numbers.next(size) || count < 0 || size != FeatureSet::descriptorSize)
        return fail(error, "the first line is not \"<count> 128\"");
    // Each keypoint takes at least 2 characters per number.
    if (static_cast<unsigned long long>(count) > numbers.left() / (2 * (4 + size)) + 1)
        return fail(error, "count " + std::to_string(count) + " is larger than the file can hold");
    features.keypoints.resize(size_t(count));
    features.descriptors.resize(size_t(count) * FeatureSet::descriptorSize);
    for (long long i = 0; i < count; ++i) {
        auto& k = features.keypoints[size_t(i)];
        if (!numbers.next(k.y) || !numbers.next(k.x) || !numbers.next(k.scale) ||
            !numbers.next(k.orientation))
            return fail(error, "keypoint " + std::to_string(i) + " is truncated or not a number");
        std::uint8_t* d = features.descriptors.data() + size_t(i) * FeatureSet::descriptorSize;
        for (int j = 0; j < FeatureSet::descriptorSize; ++j) {
            int v = 0;
            if (!numbers.next(v) || v < 0 || v > 255)
                return fail(error,
                            "descriptor of keypoint " + std::to_string(i) + " is truncated or out of range");
            d[j] = std::uint8_t(v);
        }
    }
    return true;
}

bool LoweKeyFile::readFile(const std::string& path, FeatureSet& features, std::string* error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return fail(error, "cannot open key file " + path);
    std::string message;
    if (read(in, features, &message))
        return true;
    return fail(error, path + ": " + message);
}

void LoweKeyFile::write(std::ostream& out, const FeatureSet& features)
{
    std::string text;
    text.reserve(features.size() * 560 + 16);
    text += std::to_string(features.size()) + " " + std::to_string(FeatureSet::descriptorSize) + "\n";
    for (size_t i = 0; i < features.size(); ++i) {
        const auto& k = features.keypoints[i];
        putNumber(text, k.y);
        text += ' ';
        putNumber(text, k.x);
        text += ' ';
        putNumber(text, k.scale);
        text += ' ';
        putNumber(text, k.orientation);
        const std::uint8_t* d = features.descriptor(i);
        for (int j = 0; j < FeatureSet::descriptorSize; ++j) {
            text += ' ';
            putByte(text, d[j]);
        }
        text += '\n';
    }
    out.write(text.data(), std::streamsize(text.size()));
}

bool LoweKeyFile::writeFile(const std::string& path, const FeatureSet& features, std::string* error)
{
    if (!features.consistent())
        return fail(error, "descriptor count does not match the keypoints for " + path);
    std::ostringstream out;
    write(out, features);
    return AtomicFile::write(path, out.str(), error);
}

std::string LoweKeyFile::pathForImage(const std::string& imagePath)
{
    const auto dot = imagePath.rfind('.');
    const auto slash = imagePath.find_last_of("/\\");
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return imagePath + ".key";
    return imagePath.substr(0, dot) + ".key";
}
