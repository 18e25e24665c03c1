// The tools' NVM reader (sparse.nvm between the bundle adjustment and the
// conversion to Bundler): a measurement never names a camera its model
// lacks, and what was read is written and read back alike.
#include "common/formats/NvmFile.h"

#include "FuzzSupport.h"

#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    NvmFile nvm;
    std::string error;
    if (!nvm.read(in, &error)) {
        fuzz::check(!error.empty());
        return 0;
    }
    for (const NvmFile::Model& m : nvm.models)
        for (const NvmFile::Point& p : m.points)
            for (const NvmFile::Measurement& s : p.measurements)
                fuzz::check(s.camera >= 0 && size_t(s.camera) < m.cameras.size());
    std::ostringstream out;
    nvm.write(out);
    std::istringstream again(out.str());
    NvmFile back;
    fuzz::check(back.read(again, &error));
    fuzz::check(back.models.size() == nvm.models.size());
    for (size_t i = 0; i < nvm.models.size(); ++i)
        fuzz::check(back.models[i].cameras.size() == nvm.models[i].cameras.size() &&
                    back.models[i].points.size() == nvm.models[i].points.size());
    return 0;
}
