#pragma once

#include <QByteArray>

class PipelineLayout;
struct ScanSettings;

// undistortion.bat: one undistorter call per image that has no copy under
// "uncalibrated" yet, with the camera's calibration.
class UndistortionScript
{
public:
    static constexpr const char* fileName = "undistortion.bat";

    // The script needs fx, fy, cx and cy all different from zero.
    static bool calibrationSet(const ScanSettings& settings);
    static QByteArray text(const PipelineLayout& layout, const ScanSettings& settings);
    // Where the undistorter keeps the photo as it was (native path): there
    // once the photo is done.
    static QString keptCopy(const QString& image);
};
