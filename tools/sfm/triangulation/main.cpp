// The triangulation tool of the workbench's extract command:
//
//   RadialUndistort LIST BUNDLE IMAGEFOLDER CAM1 X1 Y1 CAM2 X2 Y2
//
// LIST and BUNDLE are the converted bundle (sparse-converted-list.txt,
// sparse-converted.out); when they are missing, IMAGEFOLDER/sparse.nvm is used.
// X and Y are pixels from the top-left corner of each camera's image. Prints
// "x,y,z" of the point on standard output; otherwise one line on standard
// error that says why, and a non-zero exit code.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "TriangulationScene.h"
#include "TwoViewTriangulation.h"
#include "common/text/TextTokens.h"

namespace
{

int failWith(const std::string& message, int code = 1)
{
    std::fprintf(stderr, "RadialUndistort: %s\n", message.c_str());
    return code;
}

bool number(const char* text, double& value)
{
    return TextTokens::number(std::string_view(text), value);
}

bool cameraNumber(const char* text, int& value)
{
    double d = 0;
    if (!number(text, d) || d != double(int(d)))
        return false;
    value = int(d);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 10)
        return failWith("usage: RadialUndistort LIST BUNDLE IMAGEFOLDER CAM1 X1 Y1 CAM2 X2 Y2", 2);
    int cameraIndex[2] = {0, 0};
    double column[2] = {0, 0}, row[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        if (!cameraNumber(argv[4 + 3 * i], cameraIndex[i]) || !number(argv[5 + 3 * i], column[i]) ||
            !number(argv[6 + 3 * i], row[i]))
            return failWith(std::string("observation ") + std::to_string(i + 1) + " is not \"camera x y\": " +
                                argv[4 + 3 * i] + " " + argv[5 + 3 * i] + " " + argv[6 + 3 * i],
                            2);
    }

    TriangulationScene scene;
    std::string error;
    if (!scene.load(argv[1], argv[2], argv[3], &error))
        return failWith(error);
    TriangulationCamera cameras[2];
    for (int i = 0; i < 2; ++i)
        if (!scene.camera(cameraIndex[i], cameras[i], &error))
            return failWith(error);

    std::array<double, 3> point{};
    if (!TwoViewTriangulation::triangulate({&cameras[0], column[0], row[0]}, {&cameras[1], column[1], row[1]},
                                           point, &error))
        return failWith(error);
    std::printf("%.17g,%.17g,%.17g\n", point[0], point[1], point[2]);
    return 0;
}
