#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <opencv2/core.hpp>
#include <osg/ref_ptr>

#include "ControlTargets.h"

namespace osg
{
class Camera;
class Image;
class Node;
} // namespace osg
namespace osgViewer
{
class Viewer;
}
class SiteModel;
class SurveyCamera;

// Renders photos of a site with OpenSceneGraph into an off-screen buffer (an
// X display is needed; Xvfb will do). The ground's texture is computed in the
// shader from the ground position: non-repeating, with detail at every scale
// from metres to millimetres, each scale faded out where it would be finer
// than a pixel, so every photo finds features at its own ground sample. A
// camera with lens distortion is rendered as a pinhole over a wider buffer and
// resampled pixel by pixel to where its lens would put each ray.
class SurveyRenderer
{
public:
    // The pinhole buffer a camera's photo is taken from: the photo itself for
    // a distortion-free lens, else wide enough for every pixel's ray, the
    // photo's pinhole frame lying offsetX, offsetY pixels inside it.
    struct Buffer {
        int width = 0, height = 0;
        double offsetX = 0, offsetY = 0;
    };
    static Buffer bufferFor(const SurveyCamera& camera);

    SurveyRenderer(const SiteModel& site, const std::vector<ControlTargets::Target>& targets, double targetSize,
                   std::uint64_t seed);
    ~SurveyRenderer();

    // The off-screen buffer of width x height (bufferFor's); false with a reason.
    bool open(int width, int height, std::string* error);
    // The photo the camera takes, as 8-bit BGR.
    bool render(const SurveyCamera& camera, cv::Mat* photo, std::string* error);

private:
    osg::ref_ptr<osg::Node> buildScene(const SiteModel& site, const std::vector<ControlTargets::Target>& targets,
                                       double targetSize, std::uint64_t seed) const;

    std::unique_ptr<osgViewer::Viewer> m_viewer;
    osg::ref_ptr<osg::Image> m_image;
    osg::ref_ptr<osg::Node> m_scene;
    int m_width = 0, m_height = 0;
};
