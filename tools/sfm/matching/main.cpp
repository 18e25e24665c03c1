// Pairolo <matchList_i.txt> <matches.init_i.txt>: matches the listed image
// pairs and writes matches.init_i.txt and gpu_matches.init_i.txt.
#include <iostream>

#include "common/system/ChildProcess.h"
#include "PairoloRun.h"

int main(int argc, char* argv[])
{
    ChildProcess::followParent();
    if (argc != 3) {
        std::cerr << "usage: Pairolo <pair list> <match table>" << std::endl;
        return 2;
    }
    return PairoloRun::run(argv[1], argv[2], PairMatcher::Settings(), 0, std::cout, std::cerr);
}
