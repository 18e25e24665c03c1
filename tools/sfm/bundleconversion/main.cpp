// driver_x64 <sparse.nvm> --convert_to_bout: the NVM as Bundler's
// sparse-converted.out and sparse-converted-list.txt beside it.
#include <iostream>

#include "common/system/ChildProcess.h"
#include "NvmToBundler.h"

int main(int argc, char* argv[])
{
    ChildProcess::followParent();
    return NvmToBundler::run(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
