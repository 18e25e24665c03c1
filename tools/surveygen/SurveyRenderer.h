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
// than a pixel, so every photo finds features at its own ground sample.
class SurveyRenderer
{
public:
    SurveyRenderer(const SiteModel& site, const std::vector<ControlTargets::Target>& targets, double targetSize,
                   std::uint64_t seed);
    ~SurveyRenderer();

    // The off-screen buffer for photos of width x height; false with a reason.
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
