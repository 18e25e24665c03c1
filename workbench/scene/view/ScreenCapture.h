#pragma once

#include <QString>

namespace osg
{
class Image;
}
class GLWidget;
class GraphicsWindowQt;

// The 3D view's screenshot: a freshly rendered frame read back from the GL
// widget's framebuffer and written as BMP.
class ScreenCapture
{
public:
    static QString screenshotPath();
    // Fills image (resized to the frame) and writes it to screenshotPath();
    // prints "passed" when written. False when there is no rendered frame or
    // the file cannot be written.
    static bool capture(GLWidget* widget, GraphicsWindowQt* window, osg::Image& image);
};
