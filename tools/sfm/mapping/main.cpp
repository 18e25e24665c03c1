// VisualSfM sfm+import[+k=fx,cx,fy,cy] <listfocal> <sparse.nvm> <gpu_matches>
// VisualSfM sfm[+k=fx,cx,fy,cy] <listfocal> <sparse.nvm>
#include <iostream>

#include "common/system/ChildProcess.h"
#include "VisualSfmRun.h"

int main(int argc, char* argv[])
{
    ChildProcess::followParent();
    return VisualSfmRun::run(std::vector<std::string>(argv + 1, argv + argc), VisualSfmRun::Options(),
                             std::cout, std::cerr);
}
