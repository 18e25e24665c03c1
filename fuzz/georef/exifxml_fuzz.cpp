// The EXIF XML beside a photo, through both readers: the tools' focal
// length reader (a focal length is 0 or plausible for the photo, never
// infinite; linear time on any text) and the image viewer's EXIF reader.
#include "common/images/ExifFocal.h"
#include "core/images/ExifXmlReader.h"

#include "FuzzSupport.h"

#include <algorithm>
#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // The first two bytes choose the photo's size.
    if (size < 2)
        return 0;
    const int width = 1 + data[0] * 40, height = 1 + data[1] * 30;
    const std::string xml(reinterpret_cast<const char*>(data) + 2, size - 2);
    std::string source, warning;
    const double f = ExifFocal::fromXml(xml, width, height, &source, &warning);
    const double side = std::max(width, height);
    fuzz::check(f == 0 || (std::isfinite(f) && f >= ExifFocal::minimumPerSide * side &&
                           f <= ExifFocal::maximumPerSide * side && !source.empty()));

    fuzz::InputDevice device(QByteArray::fromStdString(xml));
    ExifXmlReader::Values values;
    QString error;
    if (!ExifXmlReader::read(device, values, &error))
        fuzz::check(!error.isEmpty());
    return 0;
}
