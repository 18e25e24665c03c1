// The georeference companion file (sparse.txt beside sparse.nvm): whatever
// the reader accepts is written again, and that text reads back as the very
// same doubles, bit for bit, and writes the very same text. A save and load
// must never move the survey.
#include "core/georef/GeoReference.h"

#include "FuzzSupport.h"

#include <cstring>

namespace
{

bool sameBits(const GeoReference& a, const GeoReference& b)
{
    return std::memcmp(a.rotation.ptr(), b.rotation.ptr(), sizeof(double) * 16) == 0 &&
           std::memcmp(a.translation.ptr(), b.translation.ptr(), sizeof(double) * 3) == 0 &&
           std::memcmp(a.scale.ptr(), b.scale.ptr(), sizeof(double) * 3) == 0 && a.epsg == b.epsg;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    GeoReference geo;
    QString error;
    if (!GeoReference::parse(fuzz::bytes(data, size), geo, &error)) {
        fuzz::check(!error.isEmpty());
        return 0;
    }
    // Whatever was read can be written, and reads back the same.
    const QByteArray text = geo.text(&error);
    fuzz::check(!text.isEmpty());
    GeoReference back;
    back.epsg = -1;
    fuzz::check(GeoReference::parse(text, back, &error));
    fuzz::check(sameBits(geo, back));
    fuzz::check(back.text() == text);
    return 0;
}
