// Feeds arbitrary bytes to the KML reader (for both layer types it reads)
// and to the KML kind test. Besides the sanitizers' findings, a polygon
// record must carry its outline, and the kind must be one of the two.
#include "core/formats/KmlKind.h"
#include "core/annotation/KmlReader.h"

#include "FuzzSupport.h"

#include <QBuffer>
#include <QByteArray>

#include <cstdint>
#include <cstdlib>
#include <iostream>

namespace
{

using fuzz::check;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::cout.rdbuf(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);

    for (LayerType::Code expected : {LayerType::Points, LayerType::Polygons}) {
        QBuffer device;
        device.setData(input);
        device.open(QIODevice::ReadOnly);
        const KmlReader::Result result = KmlReader::read(device, expected);
        check(result.skipped >= 0);
        for (const AnnotationRecord& r : result.records) {
            if (expected == LayerType::Polygons)
                check(r.type == QLatin1String("Polygons") && !r.vertices.isEmpty());
            else
                check(r.type == QLatin1String("Points"));
        }
    }
    {
        QBuffer device;
        device.setData(input);
        device.open(QIODevice::ReadOnly);
        const QString kind = KmlKind::kindOfKml(device);
        check(kind == QLatin1String("Points") || kind == QLatin1String("Polygons"));
    }
    return 0;
}
