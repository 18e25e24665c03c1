// Points2Archive: builds a level-of-detail point archive (.osga) that the
// workbench's 3D view pages in, from a PLY or text point cloud of any size.

#include "ArchiveOptions.h"
#include "Points2Archive.h"

#include <iostream>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    ArchiveOptions options;
    std::string error;
    if (!options.parse(arguments, error)) {
        std::cerr << "Points2Archive: " << error << " (" << ArchiveOptions::usage() << ")" << std::endl;
        return 2;
    }
    if (!Points2Archive::run(options, std::cout, error)) {
        std::cerr << "Points2Archive: " << error << std::endl;
        return 1;
    }
    return 0;
}
