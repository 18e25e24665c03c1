// The tool chain's image lists (listfocal.txt, list.txt): an accepted list
// holds usable focal lengths only, and reads back from its own writing
// unchanged, paths with blanks included.
#include "ImageListFile.h"

#include "FuzzSupport.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace
{
std::string scratch;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    char name[] = "/tmp/imagelist_fuzz_XXXXXX";
    const int fd = mkstemp(name);
    if (fd < 0)
        std::abort();
    close(fd);
    scratch = name;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    ImageListFile list;
    std::string error;
    if (!list.read(in, &error)) {
        fuzz::check(error.rfind("line ", 0) == 0);
        return 0;
    }
    for (const ImageListFile::Entry& e : list.entries)
        fuzz::check(!e.image.empty() && std::isfinite(e.focal) && e.focal >= 0);
    // The writer goes through a file of its own.
    fuzz::check(list.writeFile(scratch, true, &error));
    ImageListFile back;
    fuzz::check(back.readFile(scratch, &error));
    fuzz::check(back.entries.size() == list.entries.size());
    for (size_t i = 0; i < list.entries.size(); ++i)
        fuzz::check(back.entries[i].image == list.entries[i].image &&
                    back.entries[i].focal == list.entries[i].focal);
    return 0;
}
