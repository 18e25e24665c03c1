// Bundle2Vis <bundle.rd.out> <vis.dat>
#include "common/files/AtomicFile.h"
#include "DenseTool.h"
#include "ToolPaths.h"
#include "VisData.h"

int main(int argc, char** argv)
{
    return runDenseTool("Bundle2Vis", argc, argv, 2, "<bundle.rd.out> <vis.dat>",
                        [](const std::vector<std::string>& a, std::string* error) {
                            BundlerFile bundle;
                            if (!bundle.readFile(ToolPaths::native(a[0]), error))
                                return false;
                            const VisData vis = VisData::fromBundle(bundle);
                            for (size_t i = 0; i < vis.partners.size(); ++i)
                                std::cout << "view " << i << ": " << vis.partners[i].size() << " partners\n";
                            return AtomicFile::write(ToolPaths::native(a[1]), vis.text(), error);
                        });
}
