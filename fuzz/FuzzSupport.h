#pragma once

// Shared by the fuzz targets: an invariant check the fuzzer reports as a
// crash, and the input as a read-only device.

#include <QBuffer>
#include <QByteArray>

#include <cstdint>
#include <cstdlib>

namespace fuzz {

inline void check(bool condition)
{
    if (!condition)
        std::abort();
}

// The fuzzer's bytes without a copy.
inline QByteArray bytes(const uint8_t* data, size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));
}

// A device over input, open for reading.
class InputDevice : public QBuffer
{
public:
    explicit InputDevice(const QByteArray& input)
    {
        setData(input);
        open(QIODevice::ReadOnly);
    }
};

} // namespace fuzz
