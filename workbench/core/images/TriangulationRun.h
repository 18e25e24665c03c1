#pragma once

#include <QByteArray>
#include <QString>

#include <osg/Vec3d>

#include "core/images/ImagePick.h"

class ScriptProcess;

// One run of the "Triangulate" tool for a match of two observations: the
// command line the command interpreter runs, and what its output means.
class TriangulationRun
{
public:
    struct Result {
        bool ok = false;
        osg::Vec3d point;
        QString reason; // why there is no point
    };

    static constexpr int defaultTimeoutMs = 30000;

    // The tool (application folder with backslashes + "\SfM\Triangulate\RadialUndistort.exe"),
    // the converted list and bundle in the image folder, the image folder, then
    // camera, x and y of each observation as whole numbers.
    static QString commandLine(const QString& appDir, const QString& imageFolder, const ImagePick& a,
                               const ImagePick& b);

    // The point when the output's last line is "x,y,z" with three numbers.
    static Result parse(const QByteArray& output);

    // Runs the command line through the command interpreter on `process`
    // (output channels merged) and waits at most timeoutMs, then stops the
    // interpreter and the tool; a run that fails, times out or prints no
    // point gives no point and the reason.
    static Result run(ScriptProcess& process, const QString& appDir, const QString& imageFolder,
                      const ImagePick& a, const ImagePick& b, int timeoutMs = defaultTimeoutMs);
};
