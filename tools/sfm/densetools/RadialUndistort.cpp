// RadialUndistort <list> <bundle.out> <pmvs folder>
#include "BundleUndistorter.h"
#include "DenseTool.h"

int main(int argc, char** argv)
{
    return runDenseTool("RadialUndistort", argc, argv, 3, "<list> <bundle.out> <pmvs folder>",
                        [](const std::vector<std::string>& a, std::string* error) {
                            DenseSource source;
                            return source.read(a[0], a[1], error, &std::cout) &&
                                   BundleUndistorter::run(source, DenseLayout::pmvs(a[2]), error, &std::cout);
                        });
}
