#include "core/formats/PlyWriter.h"

#include "common/numbers/NumberText.h"
#include "core/formats/FormatFailure.h"
#include "core/io/SaveFileCommit.h"
#include "core/log/LogLine.h"

#include <QIODevice>
#include <QSaveFile>

#include <cstring>
#include <memory>

namespace
{

inline char* writeByte(char* out, int value)
{
    if (value >= 100) {
        *out++ = static_cast<char>('0' + value / 100);
        value %= 100;
        *out++ = static_cast<char>('0' + value / 10);
        *out++ = static_cast<char>('0' + value % 10);
    } else if (value >= 10) {
        *out++ = static_cast<char>('0' + value / 10);
        *out++ = static_cast<char>('0' + value % 10);
    } else {
        *out++ = static_cast<char>('0' + value);
    }
    return out;
}

} // namespace

int PlyWriter::channelByte(float channel)
{
    const float scaled = channel * 255;
    // Out-of-range or NaN channels would make the file unreadable as uchar.
    if (!(scaled > 0))
        return 0;
    if (scaled >= 255)
        return 255;
    return static_cast<int>(scaled);
}

char* PlyWriter::writeCoordinate(char* out, float local, double offset)
{
    if (offset == 0.0)
        return NumberText::write(out, local);
    return NumberText::write(out, NumberText::fewestDecimals(offset + double(local),
                                                             NumberText::halfFloatStep(local)));
}

bool PlyWriter::writePly(const QString& fileName, const osg::Vec3Array& vertices,
                         const osg::Vec4Array& colours, QString* message, const osg::Vec3d& offset)
{
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        return FormatFailure::report(message,
                                     fileName + QStringLiteral(": cannot write: ") + file.errorString());
    QString why;
    if (!writePly(file, vertices, colours, &why, offset)) {
        file.cancelWriting();
        return FormatFailure::report(message, fileName + QStringLiteral(": ") + why);
    }
    QString error;
    if (!SaveFileCommit::commit(file, &error))
        return FormatFailure::report(message, fileName + QStringLiteral(": cannot write: ") + error);
    LogLine() << "Finished Writing\n";
    return true;
}

bool PlyWriter::writePly(QIODevice& device, const osg::Vec3Array& vertices, const osg::Vec4Array& colours,
                         QString* message, const osg::Vec3d& offset)
{
    const size_t count = vertices.size();
    const std::string header =
        "ply\nformat ascii 1.0\ncomment VCGLIB generated\nelement vertex " + std::to_string(count) +
        "\nproperty float x\nproperty float y\nproperty float z\nproperty uchar red\nproperty uchar green\n"
        "property uchar blue\nproperty uchar alpha\nelement face 0\nproperty list uchar int vertex_indices\n"
        "end_header\n";
    if (device.write(header.data(), static_cast<qint64>(header.size())) != static_cast<qint64>(header.size()))
        return FormatFailure::report(message, QStringLiteral("write failed: ") + device.errorString());

    // The text goes out through one reused buffer rather than a copy of the
    // whole file in memory.
    constexpr size_t bufferSize = 1 << 20;
    constexpr size_t longestLine = 3 * (NumberText::maxLength + 1) + 4 * 4 + 1;
    std::unique_ptr<char[]> buffer(new char[bufferSize]);
    char* const first = buffer.get();
    char* out = first;
    const osg::Vec4 white(1, 1, 1, 1);

    for (size_t i = 0; i < count; ++i) {
        if (static_cast<size_t>(out - first) > bufferSize - longestLine) {
            if (device.write(first, out - first) != out - first)
                return FormatFailure::report(message,
                                             QStringLiteral("write failed: ") + device.errorString());
            out = first;
        }
        if (i > 0)
            *out++ = '\n';
        const osg::Vec3& v = vertices[i];
        const osg::Vec4& c = colours.empty() ? white : colours[qMin(i, colours.size() - 1)];
        out = writeCoordinate(out, v.x(), offset.x());
        *out++ = ' ';
        out = writeCoordinate(out, v.y(), offset.y());
        *out++ = ' ';
        out = writeCoordinate(out, v.z(), offset.z());
        *out++ = ' ';
        out = writeByte(out, channelByte(c.r()));
        *out++ = ' ';
        out = writeByte(out, channelByte(c.g()));
        *out++ = ' ';
        out = writeByte(out, channelByte(c.b()));
        std::memcpy(out, " 255", 4);
        out += 4;
    }
    if (out != first && device.write(first, out - first) != out - first)
        return FormatFailure::report(message, QStringLiteral("write failed: ") + device.errorString());
    LogLine() << "Finished Parsing\n";
    return true;
}
