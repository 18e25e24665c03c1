// Points2Archive's cloud reader on arbitrary files: PLY of any encoding or
// text columns in the layout the first byte picks. It reads to the end or
// stops with a reason that names the line, never more vertices than a PLY
// header declares, and counts every point it hands out.
#include "ArchiveOptions.h"
#include "CloudReader.h"

#include "FuzzSupport.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

namespace
{
std::string scratch;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char name[] = "/tmp/cloudreader_fuzz_XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0)
        std::abort();
    close(fd);
    scratch = name;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    static const char* const formats[] = {"xyzrgb", "xyz", "xyzi", "xyzrgbi", "ixyzrgb", "xyzsrgb"};
    ArchiveOptions options;
    options.input = scratch;
    options.inputFormat = formats[data[0] % 6];
    options.outputFormat = (data[0] / 6) % 2 ? "xyzi" : "xyzrgb";
    options.skipHeader = (data[0] / 12) % 3;
    std::FILE* f = std::fopen(scratch.c_str(), "wb");
    fuzz::check(f && std::fwrite(data + 1, 1, size - 1, f) == size - 1);
    std::fclose(f);

    CloudReader reader;
    std::string error;
    if (!reader.open(options, error)) {
        fuzz::check(!error.empty());
        return 0;
    }
    std::vector<InputPoint> points;
    long long total = 0;
    while (true) {
        points.clear();
        const bool more = reader.next(points, error);
        total += static_cast<long long>(points.size());
        if (!more)
            break;
    }
    // A bad line ends the run: the points of its block are not counted then.
    fuzz::check(!error.empty() || total == reader.pointsRead());
    fuzz::check(reader.declaredCount() < 0 || total <= reader.declaredCount());
    fuzz::check(reader.bytesRead() <= reader.fileSize());
    return 0;
}
