#pragma once

#include <osg/MatrixTransform>
#include <osg/Quat>
#include <osg/Vec3d>
#include <osg/ref_ptr>

#include <memory>
#include <string>
#include <vector>

#include "core/formats/PointView.h"

// One estimated camera of a reconstruction, with every measurement made in its image.
class BundleCamera
{
public:
    osg::ref_ptr<osg::MatrixTransform> transform; // frustum placement; empty until the scene builds it
    std::string name;                             // image file name as written in the bundle file
    std::string path;                             // image folder + name
    double focalLength = 0;
    osg::Vec3d centre;                            // world coordinates, as the file gives them
    float rotation[4] = {0, 0, 0, 1};             // quaternion stored x, y, z, w
    double radial = 0; // the file's distortion: undistorted m = m (1 + radial |m / f|^2)
    // The adjusted lens from the NVM's intrinsics companion (NvmLens), which
    // replaces focalLength and radial where known: the ideal point (x, y)
    // shows at (cx + fx x r, cy + fy y r), r = 1 + k1 |(x, y)|² + k2 |(x, y)|⁴,
    // pixel centres at whole numbers, for a photo of width x height.
    struct Lens {
        bool known = false;
        int width = 0, height = 0;
        double fx = 0, fy = 0, cx = 0, cy = 0, k1 = 0, k2 = 0;
    } lens;
    std::vector<std::unique_ptr<PointView>> views;

    osg::Quat quat() const { return osg::Quat(rotation[0], rotation[1], rotation[2], rotation[3]); }
};
