// undistort <image> fx fy cx cy R1 R2 T1 T2 R3: the undistorted image in
// place of the original, which moves to uncalibrated/.
#include <iostream>

#include "common/system/ChildProcess.h"
#include "ImageUndistorter.h"

int main(int argc, char* argv[])
{
    ChildProcess::followParent();
    return ImageUndistorter::run(std::vector<std::string>(argv + 1, argv + argc), std::cout, std::cerr);
}
