// Bundler <listfocal.txt> --options_file <options.txt>: the sparse
// reconstruction written as Bundler's bundle.out.
#include <iostream>

#include "BundlerRun.h"
#include "common/system/ChildProcess.h"

int main(int argc, char* argv[])
{
    ChildProcess::followParent();
    return BundlerRun::run(std::vector<std::string>(argv + 1, argv + argc), BundlerRun::Options(), std::cout,
                           std::cerr);
}
