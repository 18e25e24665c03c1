// Bundle2PMVS <list> <bundle.out> <pmvs folder>
#include "DensePreparer.h"
#include "DenseTool.h"

int main(int argc, char** argv)
{
    return runDenseTool("Bundle2PMVS", argc, argv, 3, "<list> <bundle.out> <pmvs folder>",
                        [](const std::vector<std::string>& a, std::string* error) {
                            DenseSource source;
                            return source.read(a[0], a[1], error, &std::cout) &&
                                   DensePreparer::prepare(source, DenseLayout::pmvs(a[2]), a[0], a[1], error,
                                                          &std::cout);
                        });
}
