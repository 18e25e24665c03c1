// Bundler's bundle.out as the dense tools read it and the conversion writes
// it: a view never names a camera the file lacks, and what was read is
// written and read back with the same cameras and points.
#include "BundlerFile.h"

#include "FuzzSupport.h"

#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    BundlerFile bundle;
    std::string error;
    if (!bundle.read(in, &error)) {
        fuzz::check(!error.empty());
        return 0;
    }
    for (const BundlerFile::Point& p : bundle.points)
        for (const BundlerFile::View& v : p.views)
            fuzz::check(v.camera >= 0 && size_t(v.camera) < bundle.cameras.size());
    std::ostringstream out;
    bundle.write(out);
    std::istringstream again(out.str());
    BundlerFile back;
    fuzz::check(back.read(again, &error));
    fuzz::check(back.cameras.size() == bundle.cameras.size() && back.points.size() == bundle.points.size());
    return 0;
}
