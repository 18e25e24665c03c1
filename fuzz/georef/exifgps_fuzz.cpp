// The photos' GPS reader the workbench and the matcher share, on any text:
// a position it gives is a latitude and a longitude, never the 0, 0 of a
// camera without a fix; a refusal says why; and a value's text alone gives
// degrees or NaN, nothing in between.
#include "core/georef/ExifGps.h"

#include "FuzzSupport.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    fuzz::InputDevice device(input);
    ExifGps::Position p;
    QString error;
    if (ExifGps::read(device, &p, &error)) {
        fuzz::check(std::isfinite(p.latitude) && std::isfinite(p.longitude));
        fuzz::check(std::abs(p.latitude) <= 90 && std::abs(p.longitude) <= 180);
        fuzz::check(p.latitude != 0 || p.longitude != 0);
        fuzz::check(!p.hasAltitude || std::isfinite(p.altitude));
    } else {
        fuzz::check(!error.isEmpty());
    }

    const double degrees = ExifGps::parseDegrees(QString::fromUtf8(input));
    fuzz::check(std::isnan(degrees) || std::isfinite(degrees));
    return 0;
}
