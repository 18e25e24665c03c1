// Feeds arbitrary bytes to the point cloud readers that take outside files:
// the PLY header and reader, the PLY kind test, the PTS and the XYB reader,
// all on the same in-memory input. Besides the sanitizers' findings, the
// readers must keep one colour per vertex, report no success without a
// point, and only ever keep finite coordinates.
#include "core/formats/PlyHeader.h"
#include "core/formats/PlyKind.h"
#include "core/formats/PlyReader.h"
#include "core/formats/PtsReader.h"
#include "core/io/TextLineReader.h"
#include "core/formats/XybReader.h"

#include "FuzzSupport.h"

#include <QBuffer>
#include <QByteArray>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>

namespace
{

using fuzz::check;

void checkCloud(bool ok, const osg::Vec3Array& vertices, const osg::Vec4Array& colours)
{
    check(vertices.size() == colours.size());
    check(ok == !vertices.empty());
    for (const osg::Vec3& v : vertices)
        check(std::isfinite(v.x()) && std::isfinite(v.y()) && std::isfinite(v.z()));
}

// One cloud reader over the input: every refusal says why. Returns the points read.
template <typename Reader> size_t readCloud(Reader reader, const QByteArray& input)
{
    fuzz::InputDevice device(input);
    osg::ref_ptr<osg::Vec3Array> vertices = new osg::Vec3Array;
    osg::ref_ptr<osg::Vec4Array> colours = new osg::Vec4Array;
    QString message;
    const bool ok = reader(device, *vertices, *colours, &message);
    checkCloud(ok, *vertices, *colours);
    check(ok || !message.isEmpty());
    return vertices->size();
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
    const QByteArray input = fuzz::bytes(data, size);

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
    readCloud([](QIODevice& d, osg::Vec3Array& v, osg::Vec4Array& c, QString* m) { return PlyReader::readPly(d, v, c, m); },
              input);
    {
        fuzz::InputDevice device(input);
        const QString kind = PlyKind::kindOfPly(device);
        check(kind == QLatin1String("Mesh") || kind == QLatin1String("PointCloud"));
    }
    readCloud([](QIODevice& d, osg::Vec3Array& v, osg::Vec4Array& c, QString* m) { return PtsReader::readPts(d, v, c, m); },
              input);
    const size_t xybPoints = readCloud([](QIODevice& d, osg::Vec3Array& v, osg::Vec4Array& c, QString* m) { return XybReader::readXyb(d, v, c, m); },
              input);
    check(xybPoints <= size / XybReader::recordSize);
    return 0;
}
