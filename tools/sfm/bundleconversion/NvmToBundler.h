#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "BundlerFile.h"
#include "CameraIntrinsics.h"
#include "ImageListFile.h"
#include "common/formats/NvmFile.h"

// The PBA driver's conversion of an NVM reconstruction into Bundler's files
// for the dense tools:
//   driver_x64 <sparse.nvm> --convert_to_bout
// writes <name>-converted.out (Bundler v0.3, the first model's cameras in
// NVM order) and <name>-converted-list.txt (per camera the image's full
// path, "0" and its focal length) beside the NVM. When the COLMAP model the
// NVM was made from is kept beside it (<name>_colmap/text/<k>/), the
// cameras' own intrinsics and distortion go on to the dense tools in
// <name>-converted-intrinsics.txt (CameraIntrinsics), which Bundler's file
// cannot hold: both focal lengths, the principal point, k1 and k2. The lens
// "Fit to Control Points" adjusted (<name>-intrinsics.txt beside the NVM)
// comes before the COLMAP model's.
class NvmToBundler
{
public:
    // The first model as Bundler cameras and points; NVM's measurement
    // distortion becomes Bundler's k1, k2 fitted over the radii the camera's
    // measurements reach. images gets one entry per camera: the NVM's folder
    // joined to the camera name, in backslashes.
    static BundlerFile convert(const NvmFile::Model& model, const std::string& nvmFolder,
                               ImageListFile& images);

    // The intrinsics "Fit to Control Points" left beside the NVM
    // (CameraIntrinsics' format, cameras named by their images), in the
    // model's camera order; false when there is none (why empty) or when it
    // is damaged or misses a camera (why says so).
    static bool adjustedIntrinsics(const NvmFile::Model& model, const std::string& path,
                                   CameraIntrinsics& intrinsics, std::string* why);
    // The intrinsics of the model's cameras from the COLMAP text models in
    // colmapFolder ("<name>_colmap/"): the model whose registered images are
    // the NVM's cameras (same order, names and centres). False with the
    // reason when there is none.
    static bool colmapIntrinsics(const NvmFile::Model& model, const std::string& colmapFolder,
                                 CameraIntrinsics& intrinsics, std::string* why);

    static int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
};
