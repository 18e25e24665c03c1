// SiftGPUMax [--max-side N] [--memory-mb N] <sfmlist.txt>: SIFT features of
// every listed image, as .keyb and .key files beside it. The scripts give
// only the list; the options are for runs by hand.
#include <cstdlib>
#include <iostream>
#include <string>

#include "common/system/ChildProcess.h"
#include "FeatureDetection.h"
#include "common/text/TextTokens.h"

int main(int argc, char* argv[])
{
    ChildProcess::followParent();
    SiftExtractor::Settings settings;
    std::uint64_t budget = 0;
    int i = 1;
    for (; i + 2 < argc + 1 && std::string(argv[i]).rfind("--", 0) == 0; i += 2) {
        const std::string option = argv[i];
        long value = -1;
        if (i + 1 >= argc || !TextTokens::number(std::string_view(argv[i + 1]), value) || value < 0 ||
            (option != "--max-side" && option != "--memory-mb")) {
            i = argc + 1;
            break;
        }
        if (option == "--max-side")
            settings.maxImageSide = int(value);
        else
            budget = std::uint64_t(value) << 20;
    }
    if (i != argc - 1) {
        std::cerr << "usage: SiftGPUMax [--max-side pixels (0: full size)] [--memory-mb MB] <image list>"
                  << std::endl;
        return 2;
    }
    return FeatureDetection::run(argv[i], settings, 0, std::cout, std::cerr, budget);
}
