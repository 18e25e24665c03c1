#pragma once

#include <osg/Group>
#include <osg/ref_ptr>

#include <memory>
#include <string>
#include <vector>

#include "core/formats/BundleCamera.h"

// One loaded bundle file: per model a camera list and a point set.
class SparseBundle
{
public:
    using CameraList = std::vector<std::unique_ptr<BundleCamera>>;

    std::vector<CameraList> bundleCameras;           // one list per model, in file order
    std::vector<osg::ref_ptr<osg::Group>> sparsePoints; // one group per model's point set (built by the scene)
    std::vector<int> pointCounts;                    // points of each model, parallel to sparsePoints
    // What the NVM's intrinsics companion (NvmLens) gave: empty without one;
    // lensDamaged when it could not be applied and the NVM's own term stands.
    std::string lensMessage;
    bool lensDamaged = false;
};
