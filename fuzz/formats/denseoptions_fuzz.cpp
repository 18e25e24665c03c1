// The dense tools' option file (option-0000, genOption to pmvs2), their
// vis.dat and CMPMVS's ini: an option file the matcher accepts and can use
// is written and read back alike; a vis file reads back from its writing;
// so does a camera intrinsics file (driver_x64 to the dense preparation).
#include "CameraIntrinsics.h"
#include "MvsIni.h"
#include "PmvsOptions.h"
#include "VisData.h"

#include "FuzzSupport.h"

#include <sstream>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    {
        std::istringstream in(text);
        PmvsOptions options;
        if (options.read(in, &error)) {
            std::istringstream again(options.text());
            PmvsOptions back;
            fuzz::check(back.read(again, &error));
            if (options.check())
                fuzz::check(back.text() == options.text());
        } else {
            fuzz::check(error.rfind("line ", 0) == 0);
        }
    }
    {
        std::istringstream in(text);
        VisData vis;
        if (vis.read(in, &error)) {
            for (const auto& list : vis.partners)
                for (int p : list)
                    fuzz::check(p >= 0 && size_t(p) < vis.partners.size());
            std::istringstream again(vis.text());
            VisData back;
            fuzz::check(back.read(again, &error) && back.partners == vis.partners);
        }
    }
    {
        std::istringstream in(text);
        CameraIntrinsics intrinsics;
        if (intrinsics.read(in, &error)) {
            for (const auto& c : intrinsics.cameras)
                fuzz::check(c.width > 0 && c.height > 0 && c.fx > 0 && c.fy > 0);
            std::ostringstream out;
            intrinsics.write(out);
            std::istringstream again(out.str());
            CameraIntrinsics back;
            fuzz::check(back.read(again, &error) && back.cameras.size() == intrinsics.cameras.size());
            for (size_t i = 0; i < back.cameras.size(); ++i)
                fuzz::check(back.cameras[i].cx == intrinsics.cameras[i].cx &&
                            back.cameras[i].k1 == intrinsics.cameras[i].k1);
        } else {
            fuzz::check(error.rfind("line ", 0) == 0);
        }
    }
    {
        std::istringstream in(text);
        MvsIni ini;
        ini.read(in, &error);
    }
    return 0;
}
