// pmvs2 <pmvs folder> <option file>
#include "DenseTool.h"
#include "PmvsRun.h"

int main(int argc, char** argv)
{
    return runDenseTool("pmvs2", argc, argv, 2, "<pmvs folder> <option file>",
                        [](const std::vector<std::string>& a, std::string* error) {
                            return PmvsRun::run(a[0], a[1], error, &std::cout);
                        });
}
