#include "core/formats/XybReader.h"

#include "core/formats/PointShift.h"
#include "core/log/LogLine.h"

#include <QFile>
#include <QtEndian>

#include <cmath>
#include <cstring>
#include <memory>

namespace
{

inline float floatAt(const uchar* p)
{
    const quint32 bits = qFromLittleEndian<quint32>(p);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

} // namespace

bool XybReader::readXyb(const QString& fileName, osg::Vec3Array& vertices, osg::Vec4Array& colours,
                        QString* message, PointShift* shift)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        const QString text = fileName + QStringLiteral(": cannot open: ") + file.errorString();
        LogLine() << text.toStdString() << "\n";
        if (message)
            *message = text;
        return false;
    }
    return readXyb(file, vertices, colours, message, shift);
}

bool XybReader::readXyb(QIODevice& device, osg::Vec3Array& vertices, osg::Vec4Array& colours,
                        QString* message, PointShift* shift)
{
    if (!device.isSequential()) {
        const qint64 records = (device.size() - device.pos()) / recordSize;
        vertices.reserve(vertices.size() + static_cast<size_t>(qMax<qint64>(records, 0)));
        colours.reserve(colours.size() + static_cast<size_t>(qMax<qint64>(records, 0)));
    }

    // Read through one reused buffer: the records are converted as they come.
    constexpr qint64 chunkRecords = 1 << 16;
    std::unique_ptr<uchar[]> buffer(new uchar[chunkRecords * recordSize]);
    const size_t before = vertices.size();
    qint64 filled = 0;
    qint64 nonFinite = 0;
    for (;;) {
        const qint64 got =
            device.read(reinterpret_cast<char*>(buffer.get()) + filled, chunkRecords * recordSize - filled);
        if (got <= 0)
            break;
        filled += got;
        const qint64 whole = filled / recordSize;
        for (qint64 i = 0; i < whole; ++i) {
            const uchar* r = buffer.get() + i * recordSize;
            const osg::Vec3 vertex(floatAt(r), floatAt(r + 4), floatAt(r + 8));
            if (!std::isfinite(vertex.x()) || !std::isfinite(vertex.y()) || !std::isfinite(vertex.z())) {
                ++nonFinite;
                continue;
            }
            vertices.push_back(shift ? shift->toLocal(vertex.x(), vertex.y(), vertex.z()) : vertex);
            colours.push_back(osg::Vec4(floatAt(r + 12), floatAt(r + 16), floatAt(r + 20), 1.0f));
        }
        const qint64 rest = filled - whole * recordSize;
        std::memmove(buffer.get(), buffer.get() + whole * recordSize, static_cast<size_t>(rest));
        filled = rest;
    }

    const size_t read = vertices.size() - before;
    LogLine(LogLevel::Info) << "Total Points Read = " << read << "\n";
    if (nonFinite > 0) {
        // A non-finite coordinate would poison every bounding sphere of the view.
        const QString text =
            QStringLiteral("XYB: %1 records with non-finite coordinates skipped").arg(nonFinite);
        LogLine() << text.toStdString() << "\n";
        if (message)
            *message = text;
    }
    if (read == 0 && nonFinite == 0) {
        // A refusal always says why, also for an empty or too short file.
        const QString text = QStringLiteral("XYB: no whole %1-byte record").arg(recordSize);
        LogLine() << text.toStdString() << "\n";
        if (message)
            *message = text;
    }
    return read > 0;
}
