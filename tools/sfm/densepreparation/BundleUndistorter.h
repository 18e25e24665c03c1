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

    // The image an ideal camera of the same focal lengths, principal point
    // and size would take.
    static cv::Mat undistortImage(const cv::Mat& image, const CameraIntrinsics::Camera& lens);
    // Observation (from the principal point, y up) as an ideal camera sees it.
    static void undistortPoint(const CameraIntrinsics::Camera& lens, double& x, double& y);
    // lenses: one per bundle camera (those of unplaced cameras unused).
    static BundlerFile undistortBundle(const BundlerFile& bundle, const std::vector<int>& registered,
                                       const std::vector<CameraIntrinsics::Camera>& lenses);
};
