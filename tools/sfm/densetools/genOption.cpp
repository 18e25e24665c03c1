// genOption <pmvs folder> <level> <csize> <threshold> <wsize> <minImageNum> <cpus>
#include "DenseTool.h"
#include "OptionGenerator.h"

int main(int argc, char** argv)
{
    return runDenseTool(
        "genOption", argc, argv, 7, "<pmvs folder> <level> <csize> <threshold> <wsize> <minImageNum> <cpus>",
        [](const std::vector<std::string>& a, std::string* error) {
            PmvsOptions options;
            return OptionGenerator::parse({a.begin() + 1, a.end()}, options, error) &&
                   OptionGenerator::write(DenseLayout::pmvs(a[0]), a[0], options, error, &std::cout);
        });
}
