#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

#include "BundlerFile.h"
#include "DenseLayout.h"
#include "DenseSource.h"

// RadialUndistort and RadialUndistortCMP: removes Bundler's radial
// distortion from the images of the placed cameras (written as the dense
// folder's numbered images) and writes the bundle of those cameras without
// distortion (bundle.rd.out), its observations moved to where an ideal
// camera sees them and renumbered to the dense views.
class BundleUndistorter
{
public:
    static bool run(const DenseSource& source, const DenseLayout& layout, std::string* error,
                    std::ostream* log = nullptr);

    // The image an ideal camera of the same focal length and size would take.
    static cv::Mat undistortImage(const cv::Mat& image, const BundlerFile::Camera& camera);
    // Observation (centre origin, y up) as an ideal camera sees it.
    static void undistortPoint(const BundlerFile::Camera& camera, double& x, double& y);
    static BundlerFile undistortBundle(const BundlerFile& bundle, const std::vector<int>& registered);
};
