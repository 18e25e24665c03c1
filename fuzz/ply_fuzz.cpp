// Feeds arbitrary bytes to the point cloud readers that take outside files:
// the PLY header and reader, the PLY kind test, the PTS and the XYB reader,
// all on the same in-memory input. Besides the sanitizers' findings, the
// readers must keep one colour per vertex, report no success without a
// point, and only ever keep finite coordinates.
#include "PlyHeader.h"
#include "PlyKind.h"
#include "PlyReader.h"
#include "PtsReader.h"
#include "TextLineReader.h"
#include "XybReader.h"

#include <QBuffer>
#include <QByteArray>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>

namespace
{

void check(bool condition)
{
    if (!condition)
        std::abort();
}

void checkCloud(bool ok, const osg::Vec3Array& vertices, const osg::Vec4Array& colours)
{
    check(vertices.size() == colours.size());
    check(ok == !vertices.empty());
    for (const osg::Vec3& v : vertices)
        check(std::isfinite(v.x()) && std::isfinite(v.y()) && std::isfinite(v.z()));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The readers' progress lines would drown the fuzzer's own output.
    std::cout.rdbuf(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = QByteArray::fromRawData(reinterpret_cast<const char*>(data), int(size));

    {
        // The header alone, as the in-memory line reader hands it out.
        TextLineReader lines(input.constData(), input.constData() + input.size());
        PlyHeader header;
        QString error;
        const bool ok = PlyHeader::read(lines, header, error);
        check(ok == error.isEmpty() || ok);
        if (ok) {
            check(header.vertexCount >= 0 && header.linesBeforeVertices >= 0);
            check(header.propertyCount >= 0 && header.propertyCount <= PlyHeader::maxProperties);
            check(header.lastUsedColumn < header.propertyCount);
        } else {
            check(!error.isEmpty());
        }
    }
    {
        QBuffer device;
        device.setData(input);
        device.open(QIODevice::ReadOnly);
        osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
        osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
        QString message;
        const bool ok = PlyReader::readPly(device, *vertices, *colours, &message);
        checkCloud(ok, *vertices, *colours);
        check(ok || !message.isEmpty());
    }
    {
        QBuffer device;
        device.setData(input);
        device.open(QIODevice::ReadOnly);
        const QString kind = PlyKind::kindOfPly(device);
        check(kind == QLatin1String("Mesh") || kind == QLatin1String("PointCloud"));
    }
    {
        QBuffer device;
        device.setData(input);
        device.open(QIODevice::ReadOnly);
        osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
        osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
        QString message;
        const bool ok = PtsReader::readPts(device, *vertices, *colours, &message);
        checkCloud(ok, *vertices, *colours);
        check(ok || !message.isEmpty());
    }
    {
        QBuffer device;
        device.setData(input);
        device.open(QIODevice::ReadOnly);
        osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
        osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
        QString message;
        const bool ok = XybReader::readXyb(device, *vertices, *colours, &message);
        checkCloud(ok, *vertices, *colours);
        check(ok || !message.isEmpty());
        check(vertices->size() <= size / XybReader::recordSize);
    }
    return 0;
}
