// The photo header reader SiftGPUMax sizes its work by, on any bytes: a
// size it gives is one a photo can have, a JPEG without image data is
// truncated, a refusal says why and names the photo, and the memory
// estimate made from the header holds.
#include "PhotoDecoder.h"

#include "FuzzSupport.h"

#include <sstream>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    PhotoDecoder::Header header;
    std::string error;
    if (!PhotoDecoder::readHeader(in, "photo", header, &error)) {
        fuzz::check(error.rfind("photo: ", 0) == 0 && error.size() > 7);
        return 0;
    }
    fuzz::check(error.empty());
    fuzz::check((header.width == 0) == (header.height == 0) && header.width >= 0 && header.height >= 0);
    fuzz::check(header.width <= PhotoDecoder::largestSide && header.height <= PhotoDecoder::largestSide);
    fuzz::check(std::uint64_t(header.width) * std::uint64_t(header.height) <= PhotoDecoder::largestPixels);
    fuzz::check(!header.truncated || header.jpeg);
    // A whole JPEG has its end-of-image marker.
    if (header.jpeg && !header.truncated)
        fuzz::check(std::string_view(reinterpret_cast<const char*>(data), size).find("\xFF\xD9") !=
                    std::string_view::npos);
    for (int maxSide : {0, 3200}) {
        const std::uint64_t cost = PhotoDecoder::memoryCost(header, maxSide);
        fuzz::check(header.width == 0 ? cost == ~std::uint64_t(0) : cost >= (std::uint64_t(64) << 20));
    }
    return 0;
}
