// SiftGPUMax <sfmlist.txt>: SIFT features of every listed image, as .keyb
// and .key files beside it.
#include <iostream>

#include "ChildProcess.h"
#include "FeatureDetection.h"

int main(int argc, char* argv[])
{
    ChildProcess::followParent();
    if (argc != 2) {
        std::cerr << "usage: SiftGPUMax <image list>" << std::endl;
        return 2;
    }
    return FeatureDetection::run(argv[1], SiftExtractor::Settings(), 0, std::cout, std::cerr);
}
