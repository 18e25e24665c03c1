#pragma once

#include <cstdint>
#include <string>

// The memory a dense run may take, and how many views one matcher run can
// hold within it. The budget is a setting: ORVALIS_DENSE_MEMORY_MB (whole
// MiB) when set, else three quarters of the memory the machine has
// available (MemAvailable), else 4 GiB. The matcher holds, per view, its
// reduced grey and colour images and its depth, score and normal maps (with
// the sweep's buffers and the cloud's share, about 52 bytes a reduced
// pixel); per thread, one photo decoded at full size.
class DenseBudget
{
public:
    // source, when given, says where the figure came from.
    static std::uint64_t bytes(std::string* source = nullptr);

    static std::uint64_t perView(int width, int height, int level);
    static std::uint64_t perThread(int width, int height);

    // The most views a matcher run over photos of width x height at level,
    // with threads threads, keeps within budget; at least 2.
    static int viewsWithin(std::uint64_t budget, int width, int height, int level, int threads);

    // The size of image as it decodes, without decoding it whole; false when
    // it cannot be read.
    static bool imageSize(const std::string& image, int& width, int& height);
};
