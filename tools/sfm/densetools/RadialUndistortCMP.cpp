// RadialUndistortCMP <list> <bundle.out> <cmpmvs folder>
#include "BundleUndistorter.h"
#include "DenseTool.h"

int main(int argc, char** argv)
{
    return runDenseTool("RadialUndistortCMP", argc, argv, 3, "<list> <bundle.out> <cmpmvs folder>",
                        [](const std::vector<std::string>& a, std::string* error) {
                            DenseSource source;
                            return source.read(a[0], a[1], error, &std::cout) &&
                                   BundleUndistorter::run(source, DenseLayout::cmpmvs(a[2]), error,
                                                          &std::cout);
                        });
}
