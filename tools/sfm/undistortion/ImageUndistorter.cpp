#include "ImageUndistorter.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <unistd.h>

#include <opencv2/calib3d.hpp>
#include <opencv2/imgcodecs.hpp>

#include "common/files/AtomicFile.h"
#include "common/numbers/NumberText.h"
#include "ToolPaths.h"

namespace fs = std::filesystem;

namespace
{

bool fail(std::string* error, const std::string& text)
{
    if (error)
        *error = text;
    return false;
}

} // namespace

bool ImageUndistorter::undistort(const std::string& imagePath, const Calibration& c, std::string* error)
{
    if (c.fx <= 0 || c.fy <= 0)
        return fail(error, "the focal lengths must be positive");
    const fs::path image(imagePath);
    const fs::path keepFolder = image.parent_path() / "uncalibrated";
    const fs::path kept = keepFolder / image.filename();
    std::error_code ec;
    if (fs::exists(kept, ec))
        return fail(error, kept.string() + " exists: " + imagePath + " was undistorted before");
    const cv::Mat original = cv::imread(imagePath, cv::IMREAD_UNCHANGED);
    if (original.empty())
        return fail(error, "cannot read image " + imagePath);

    const cv::Mat K = (cv::Mat_<double>(3, 3) << c.fx, 0, c.cx, 0, c.fy, c.cy, 0, 0, 1);
    const cv::Mat distortion(1, 5, CV_64F, const_cast<double*>(c.distortion.data()));
    cv::Mat undistorted;
    cv::undistort(original, undistorted, K, distortion, K);

    // Written beside the image under a temporary name that keeps its
    // extension (OpenCV chooses the format by it), then moved in place.
    const std::string temporary =
        (image.parent_path() /
         (image.stem().string() + ".part" + std::to_string(::getpid()) + image.extension().string()))
            .string();
    const std::vector<int> quality{cv::IMWRITE_JPEG_QUALITY, 95};
    bool written = false;
    try {
        written = cv::imwrite(temporary, undistorted, quality);
    } catch (const cv::Exception&) {
        written = false;
    }
    if (!written) {
        fs::remove(temporary, ec);
        return fail(error, "cannot write the undistorted image " + temporary);
    }
    // The original is kept first (a hard link, or a copy across file
    // systems); only then does the undistorted image replace it.
    fs::create_directories(keepFolder, ec);
    const std::string keptPart = kept.string() + ".part" + std::to_string(::getpid());
    fs::remove(keptPart, ec);
    if (::link(imagePath.c_str(), keptPart.c_str()) != 0 &&
        !fs::copy_file(image, keptPart, fs::copy_options::overwrite_existing, ec)) {
        fs::remove(temporary, ec);
        return fail(error,
                    "cannot keep the original in " + keepFolder.string() + ": " + std::strerror(errno));
    }
    if (!AtomicFile::commit(keptPart, kept.string(), error)) {
        fs::remove(temporary, ec);
        return false;
    }
    return AtomicFile::commit(temporary, imagePath, error);
}

int ImageUndistorter::run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err)
{
    if (args.size() != 10) {
        err << "usage: undistort <image> fx fy cx cy R1 R2 T1 T2 R3" << std::endl;
        return 2;
    }
    double v[9];
    for (int i = 0; i < 9; ++i)
        if (!NumberText::readWord(args[size_t(i) + 1], v[i])) {
            err << "undistort: \"" << args[size_t(i) + 1] << "\" is not a number" << std::endl;
            return 2;
        }
    Calibration c;
    c.fx = v[0];
    c.fy = v[1];
    c.cx = v[2];
    c.cy = v[3];
    c.distortion = {v[4], v[5], v[6], v[7], v[8]};
    std::string note;
    const std::string image = ToolPaths::resolveFile(args[0], &note);
    if (image.empty()) {
        err << "undistort: " << ToolPaths::native(args[0]) << ": image not found" << std::endl;
        return 1;
    }
    if (!note.empty())
        out << note << '\n';
    std::string error;
    if (!undistort(image, c, &error)) {
        err << "undistort: " << error << std::endl;
        return 1;
    }
    out << "Undistorted " << image << std::endl;
    return 0;
}
