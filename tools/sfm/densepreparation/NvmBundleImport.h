#pragma once

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "BundlerFile.h"
#include "CameraIntrinsics.h"

// The first model of a VisualSfM NVM file as a Bundler reconstruction, for
// feeding our dense tools from NVM data (the benchmark, tests). Poses become
// Bundler's (camera looking down -z, y up); VisualSfM's distortion, which
// maps measured to ideal points, becomes the Bundler k1, k2 that best map
// ideal to measured points over the radii the camera's measurements span.
class NvmBundleImport
{
public:
    BundlerFile bundle;
    std::vector<std::string> images; // names as the file gives them
    // The adjusted lens "Fit to Control Points" left beside the file
    // (<name>-intrinsics.txt), one camera per bundle camera, whose k1, k2
    // the bundle's cameras then take; empty without one. readFile says in
    // lensNote where it came from or why it was not used.
    CameraIntrinsics intrinsics;
    std::string lensNote;

    // Size of the image a camera line names; false when unknown.
    using ImageSize = std::function<bool(const std::string& name, int& width, int& height)>;

    // VisualSfM measures from the image centre, but files exist whose
    // measurements count from the top-left corner. With imageSize given,
    // each camera's measurements are taken from whichever origin its
    // points project onto best.
    bool read(std::istream& in, std::string* error = nullptr, const ImageSize& imageSize = {});
    bool readFile(const std::string& path, std::string* error = nullptr, const ImageSize& imageSize = {});

    // k1, k2 with p (1 + k1 |p|^2 + k2 |p|^4) closest to the measured point
    // whose ideal point is p, for VisualSfM's r, up to normalised radius maxRadius.
    static void fitDistortion(double r, double maxRadius, double& k1, double& k2);

private:
    void placeOrigins(const ImageSize& imageSize);
};
