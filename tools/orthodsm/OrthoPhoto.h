#pragma once

#include <string>

#include "CameraIntrinsics.h"

// One photo of a georeferenced reconstruction as the orthophoto samples it:
// the NVM camera (focal length, rotation, centre, one radial distortion
// value, measurements from the image centre) carried into survey
// coordinates through the companion file's similarity; or, where "Fit to
// Control Points" left the adjusted lens beside the NVM, that lens whole.
class OrthoPhoto
{
public:
    std::string name; // as the NVM file gives it
    std::string path; // the photo file
    int width = 0, height = 0;
    double focal = 0;  // pixels
    double radial = 0; // NVM: undistorted u = d (1 + r |d / f|^2)
    // The adjusted lens (focal lengths, principal point, k1, k2), which
    // replaces focal and radial in projecting when set.
    bool hasLens = false;
    CameraIntrinsics::Camera lens;
    double toCamera[9] = {1, 0, 0, 0, 1,
                          0, 0, 0, 1}; // survey offset from the centre to camera axes (row-major)
    double centre[3] = {0, 0, 0};      // survey coordinates

    // Pixel (top-left corner of the photo at 0, 0) of a survey point, the
    // photo's distortion applied; false when the point lies behind the camera.
    bool project(const double point[3], double& x, double& y) const;
    // Angle between the ray from the point to the camera and the vertical.
    double offNadir(const double point[3]) const;
};
