#include "DenseBudget.h"

#include <algorithm>
#include <cstdlib>

#include "PhotoDecoder.h"
#include "common/system/MachineMemory.h"
#include "common/text/TextTokens.h"

namespace
{

constexpr std::uint64_t mib = std::uint64_t(1) << 20;
// The process itself, the scene and the cloud's list before it is written.
constexpr std::uint64_t fixedCost = 256 * mib;

} // namespace

std::uint64_t DenseBudget::bytes(std::string* source)
{
    if (const char* text = std::getenv("ORVALIS_DENSE_MEMORY_MB")) {
        long long value = 0;
        if (TextTokens::number(std::string_view(text), value) && value > 0 && value < (1LL << 30)) {
            if (source)
                *source = "ORVALIS_DENSE_MEMORY_MB";
            return std::uint64_t(value) * mib;
        }
    }
    if (const std::uint64_t available = MachineMemory::available()) {
        if (source)
            *source = "three quarters of the available memory";
        return available / 4 * 3;
    }
    if (source)
        *source = "the default (available memory unknown)";
    return 4096 * mib;
}

std::uint64_t DenseBudget::perView(int width, int height, int level)
{
    const std::uint64_t w = std::uint64_t(std::max(1, width >> level)),
                        h = std::uint64_t(std::max(1, height >> level));
    return 52 * w * h;
}

std::uint64_t DenseBudget::perThread(int width, int height)
{
    // The decoded photo and its reduced copy.
    return 4 * std::uint64_t(std::max(1, width)) * std::uint64_t(std::max(1, height));
}

int DenseBudget::viewsWithin(std::uint64_t budget, int width, int height, int level, int threads)
{
    const std::uint64_t fixed = fixedCost + std::uint64_t(std::max(1, threads)) * perThread(width, height);
    const std::uint64_t room = budget > fixed ? budget - fixed : 0;
    const std::uint64_t views = room / std::max<std::uint64_t>(1, perView(width, height, level));
    return int(std::clamp<std::uint64_t>(views, 2, 100000));
}

bool DenseBudget::imageSize(const std::string& image, int& width, int& height)
{
    return PhotoDecoder::photoSize(image, width, height);
}
