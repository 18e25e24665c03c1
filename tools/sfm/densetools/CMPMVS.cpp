// CMPMVS <mvs.ini>
#include "CmpmvsRun.h"
#include "DenseTool.h"

int main(int argc, char** argv)
{
    return runDenseTool("CMPMVS", argc, argv, 1, "<mvs.ini>",
                        [](const std::vector<std::string>& a, std::string* error) {
                            return CmpmvsRun::run(a[0], error, &std::cout);
                        });
}
