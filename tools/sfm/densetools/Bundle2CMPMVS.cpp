// Bundle2CMPMVS (also built as bundle2cmpmvs) <list> <bundle.out> <cmpmvs folder>
#include "DensePreparer.h"
#include "DenseTool.h"

int main(int argc, char** argv)
{
    return runDenseTool("Bundle2CMPMVS", argc, argv, 3, "<list> <bundle.out> <cmpmvs folder>",
                        [](const std::vector<std::string>& a, std::string* error) {
                            DenseSource source;
                            return source.read(a[0], a[1], error, &std::cout) &&
                                   DensePreparer::prepare(source, DenseLayout::cmpmvs(a[2]), a[0], a[1],
                                                          error, &std::cout);
                        });
}
